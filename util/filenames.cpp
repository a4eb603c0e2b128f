#include "filenames.h"

#include "apperror.h"


namespace {

bool isRemovedFromFileName(QChar c)
{
    switch (c.unicode()) {
    case 0: // would cut a path short at the system boundary
    case 9: case 10: case 13: case ' ':
    case '"': case '*': case '/': case ':': case '<': case '=': case '>': case '?': case '\\': case '|':
        return true;
    default:
        return false;
    }
}

bool onlyDots(const QString &s)
{
    for (QChar c : s) {
        if (c != u'.')
            return false;
    }
    return true;
}

} // namespace

QString TruncateUtf8(const QString &text, int maxBytes)
{
    int bytes = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const char32_t c = text[i].unicode();
        int units = 1, size = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            units = 2;
            size = 4;
        } else if (c >= 0x800) {
            size = 3;
        } else if (c >= 0x80) {
            size = 2;
        }
        if (bytes + size > maxBytes)
            break;
        bytes += size;
        i += units;
    }
    return text.left(i);
}

QString SafeFileName(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        if (!isRemovedFromFileName(c))
            result.append(c);
    }
    qsizetype begin = 0;
    qsizetype end = result.size();
    while (begin < end && result[begin].unicode() <= 32)
        ++begin;
    while (end > begin && result[end - 1].unicode() <= 32)
        --end;
    result = result.mid(begin, end - begin);
    // "." and ".." would name the folder itself or its parent, not a folder of the book.
    if (result.isEmpty() || onlyDots(result))
        throw AppError(QStringLiteral("Resulting FileName was empty Input string was: ") + text);
    return result;
}
