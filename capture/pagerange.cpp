#include "pagerange.h"

#include "bookidentity.h"

namespace {

bool setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

QString notARange(const QString &text)
{
    return QStringLiteral("\"%1\" is not a page range: write FROM-TO, for example 10-50, 10- or -50").arg(text);
}

bool plainDigits(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

// One end of a range: empty (left open, 0) or a page number from 1.
bool readEnd(const QString &whole, QString end, int *page, QString *error)
{
    end = end.trimmed();
    if (end.isEmpty()) {
        *page = 0;
        return true;
    }
    if (!plainDigits(end))
        return setError(error, notARange(whole));
    // Digits alone: a number too large for an int is past the largest book too.
    bool ok = false;
    const qlonglong number = end.toLongLong(&ok);
    if (!ok || number > MaxBookPages)
        return setError(error, QStringLiteral("Page %1 is past the largest book the program takes (%2 pages)").arg(end).arg(MaxBookPages));
    if (number == 0)
        return setError(error, QStringLiteral("Pages are counted from 1, so there is no page 0 (\"%1\")").arg(whole));
    *page = int(number);
    return true;
}

QString pagesText(int count)
{
    return count == 1 ? QStringLiteral("1 page") : QStringLiteral("%1 pages").arg(count);
}

} // namespace

std::optional<PageRange> ParsePageRange(const QString &text, QString *error)
{
    const QString whole = text.trimmed();
    if (whole.isEmpty())
        return PageRange{};
    const qsizetype dash = whole.indexOf(QLatin1Char('-'));
    PageRange range;
    if (dash < 0) {
        if (!readEnd(whole, whole, &range.from, error))
            return std::nullopt;
        range.to = range.from; // one page alone
        return range;
    }
    const QString left = whole.left(dash);
    const QString right = whole.mid(dash + 1);
    if (right.contains(QLatin1Char('-')) || (left.trimmed().isEmpty() && right.trimmed().isEmpty())) {
        setError(error, notARange(whole));
        return std::nullopt;
    }
    if (!readEnd(whole, left, &range.from, error) || !readEnd(whole, right, &range.to, error))
        return std::nullopt;
    if (range.from > 0 && range.to > 0 && range.to < range.from) {
        setError(error, QStringLiteral("The range %1-%2 ends before it starts").arg(range.from).arg(range.to));
        return std::nullopt;
    }
    return range;
}

QString PageRangeText(const PageRange &range)
{
    if (range.from == 0 && range.to == 0)
        return {};
    if (range.from > 0 && range.from == range.to)
        return QString::number(range.from);
    const QString from = range.from > 0 ? QString::number(range.from) : QString();
    const QString to = range.to > 0 ? QString::number(range.to) : QString();
    return from + QLatin1Char('-') + to;
}

std::optional<PageSpan> ResolvePageRange(const PageRange &range, int pageOnDisplay, int totalPages, QString *error)
{
    PageSpan span;
    span.first = range.from > 0 ? range.from : qMax(pageOnDisplay, 1);
    span.last = range.to > 0 ? range.to : qMax(totalPages, 0);
    for (const int page : {span.first, span.last}) {
        if (totalPages > 0 && page > totalPages) {
            setError(error, QStringLiteral("Page %1 is past the book's end (%2)").arg(page).arg(pagesText(totalPages)));
            return std::nullopt;
        }
        // Without a count, the run would count up to it.
        if (page > MaxBookPages) {
            setError(error, QStringLiteral("Page %1 is past the largest book the program takes (%2 pages)").arg(page).arg(MaxBookPages));
            return std::nullopt;
        }
    }
    if (span.last > 0 && span.first > span.last) {
        if (range.from > 0)
            setError(error, QStringLiteral("The range %1-%2 ends before it starts").arg(span.first).arg(span.last));
        else
            setError(error, QStringLiteral("The range ends at page %1, before the page on display (page %2)")
                                .arg(span.last)
                                .arg(span.first));
        return std::nullopt;
    }
    return span;
}
