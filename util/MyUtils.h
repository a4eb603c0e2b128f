#pragma once

// Small text, file and resource helpers used all over the program. They hold no state;
// failures are thrown as AppError and reach the caller.

#include <QString>

class QIODevice;
class QLabel;

// <documents folder>/Brindlewick/<name>/, both levels created when missing. Ends with "/".
QString MakeUserFolder(const QString &name);

// Creates the folder at path when it does not exist (one level; the parent must exist).
void EnsureFolder(const QString &path);
// The same, but a folder that cannot be made throws "Cannot create folder ..." with the
// system's reason.
void MakeFolder(const QString &path);

// The longest start of text whose UTF-8 form has at most maxBytes bytes, never cutting a
// character (or a surrogate pair) in two. File systems limit names in bytes, not characters.
QString TruncateUtf8(const QString &text, int maxBytes);

// Path of the built-in resource with this name and type ("jsQM", "HTML"), matched without
// regard to letter case; empty when there is none.
QString FindResourcePath(const QString &name, const QString &type);

// Shows the PNG stored as raw-data resource `name` in the label. A missing resource throws.
void LoadPngResource(const QString &name, QLabel *image);

// Text of the resource `name` of type `type`. A missing resource throws.
QString ResourceText(const QString &name, const QString &type);

// The whole stream from its start, as 8-bit text of this system; empty for no stream.
QString StreamToText(QIODevice *stream);

// A book identifier made usable as a file or folder name; throws when nothing usable is left.
QString SafeFileName(const QString &text);

// "key=123" -> 123. Pieces split at "=" and line breaks, empty ones dropped; exactly two
// pieces convert the second (throwing when it is no integer), any other count gives 0.
int IntAfterEquals(const QString &text);

// Decimal text to a 32-bit signed integer: leading blanks and a sign allowed, nothing after
// the digits. False (value untouched) when the text is no such number.
bool TryStrToInt(const QString &text, int *value);

// Everything after the first "=", or empty text when there is none.
QString TextAfterEquals(const QString &text);
