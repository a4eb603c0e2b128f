#include "protocoltext.h"

#include "apperror.h"

#include <QStringList>

int IntAfterEquals(const QString &text)
{
    QStringList pieces;
    QString piece;
    for (QChar c : text) {
        if (c == u'=' || c == u'\n' || c == u'\r') {
            if (!piece.isEmpty())
                pieces.append(piece);
            piece.clear();
        } else {
            piece.append(c);
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);
    if (pieces.size() != 2)
        return 0;
    int value = 0;
    if (!TryStrToInt(pieces[1], &value))
        throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(pieces[1]));
    return value;
}

// Decimal conversion of a 32-bit signed integer: leading blanks and a sign are allowed,
// nothing may follow the digits.
bool TryStrToInt(const QString &text, int *value)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].unicode() <= u' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return false;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return false;
        v = v * 10 + (c - u'0');
        if (v > (qint64(1) << 31))
            return false;
    }
    if (negative)
        v = -v;
    if (v < INT32_MIN || v > INT32_MAX)
        return false;
    *value = int(v);
    return true;
}

QString TextAfterEquals(const QString &text)
{
    const qsizetype at = text.indexOf(u'=');
    return at < 0 ? QString() : text.mid(at + 1);
}
