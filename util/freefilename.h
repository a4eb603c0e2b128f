#pragma once

#include <QSet>
#include <QString>
#include <functional>

// Names for files saved into a folder the user keeps (the Downloads folder): a file already
// there is never replaced; the new one gets a number before its extension instead, the way
// desktop browsers do it: "book.epub", "book (1).epub", "book (2).epub".

// The first of name, "stem (1).ext", "stem (2).ext", ... for which taken() is false. The
// extension is the part after the last dot ("tar.gz" and the like stay whole); a name that
// starts with its only dot (".profile") has none. A name with a folder part or none at all is
// first reduced to a plain file name ("download" when nothing is left).
QString NumberedFileName(const QString &name, const std::function<bool(const QString &)> &taken);

// Whether name is taken in folder: it is in reserved (files being written that may not exist
// yet), or something is there under that name (a file, a folder, a symbolic link, even one that
// leads nowhere).
bool FileNameTaken(const QString &folder, const QString &name, const QSet<QString> &reserved = {});

// NumberedFileName against FileNameTaken.
QString FreeFileName(const QString &folder, const QString &name, const QSet<QString> &reserved = {});

// Makes an empty file in folder under the first name NumberedFileName gives against taken, and
// returns that name. The file is created exclusively, never through a symbolic link: when a
// name turns out to be there by then (it came after the check, or a link sits there that taken
// did not count), the next name is tried. Empty, with the reason in *error, when no file can
// be made.
QString CreateFreeFile(const QString &folder, const QString &name,
                       const std::function<bool(const QString &)> &taken, QString *error = nullptr);
