#pragma once

#include <QStringList>

// Splits text at every "&" and line break, leaving a stretch in single or double quotes
// whole; empty pieces are dropped. Quotes stay in the pieces.
QStringList SplitQueryPieces(const QString &text);
