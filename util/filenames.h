#pragma once

// Book identifiers made into file and folder names that file systems take.

#include <QString>

// The longest start of text whose UTF-8 form has at most maxBytes bytes, never cutting a
// character (or a surrogate pair) in two. File systems limit names in bytes, not characters.
QString TruncateUtf8(const QString &text, int maxBytes);

// A book identifier made usable as a file or folder name; throws when nothing usable is left.
QString SafeFileName(const QString &text);
