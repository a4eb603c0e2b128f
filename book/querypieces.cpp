#include "querypieces.h"

QStringList SplitQueryPieces(const QString &text)
{
    QStringList pieces;
    QString piece;
    auto flush = [&] {
        if (!piece.isEmpty())
            pieces.append(piece);
        piece.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'&' || c == u'\r' || c == u'\n') {
            flush();
        } else if (c == u'"' || c == u'\'') {
            const qsizetype close = text.indexOf(c, i + 1);
            if (close < 0) {
                piece.append(c); // an unmatched quote is an ordinary character
            } else {
                piece.append(QStringView(text).mid(i, close - i + 1));
                i = close;
            }
        } else {
            piece.append(c);
        }
    }
    flush();
    return pieces;
}
