#pragma once

// Creating folders. Failures are thrown as AppError with the system's reason.

#include <QString>

// <documents folder>/Brindlewick/<name>/, both levels created when missing. Ends with "/".
QString MakeUserFolder(const QString &name);

// Creates the folder at path when it does not exist (one level; the parent must exist).
void EnsureFolder(const QString &path);

// The same, but a folder that cannot be made throws "Cannot create folder ..." with the
// system's reason.
void MakeFolder(const QString &path);

// The folder at path and the ones above it that are missing; throws as MakeFolder.
void MakeFolders(const QString &path);

// Why no file can be written in the folder at path (the system's reason); empty when one can.
QString FolderWriteProblem(const QString &path);
