#pragma once

// Reading the "key=value" texts the viewer page prints.

#include <QString>

// "key=123" -> 123. Pieces split at "=" and line breaks, empty ones dropped; exactly two
// pieces convert the second (throwing when it is no integer), any other count gives 0.
int IntAfterEquals(const QString &text);

// Decimal text to a 32-bit signed integer: leading blanks and a sign allowed, nothing after
// the digits. False (value untouched) when the text is no such number.
bool TryStrToInt(const QString &text, int *value);

// Everything after the first "=", or empty text when there is none.
QString TextAfterEquals(const QString &text);
