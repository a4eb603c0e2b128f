#pragma once

#include <QByteArray>
#include <QStringView>

// Base64 (standard alphabet, "=" padding) decoded the forgiving way page reports need:
// - every character outside A-Z a-z 0-9 + / = is skipped wherever it stands (line breaks,
//   blanks, "-", "_", a leftover comma, anything non-ASCII);
// - the rest is read in groups of four: three bytes, two when the fourth is "=", one when
//   the third and fourth are "=". Padding does not end the data: later groups are decoded too;
// - a "=" elsewhere in a group counts as zero bits;
// - a last group of two or three characters gives one or two bytes, a lone character none.
// It never fails.
QByteArray DecodeBase64Tolerant(QStringView text);
