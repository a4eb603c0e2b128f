#include "booktitle.h"

QString BookTitleFromPageTitle(const QString &pageTitle, const QString &bookId)
{
    qsizetype end = pageTitle.size();
    for (const QLatin1String separator : {QLatin1String(" - "), QLatin1String(" | ")}) {
        const qsizetype at = pageTitle.indexOf(separator);
        if (at >= 0 && at < end)
            end = at;
    }
    const QString title = pageTitle.left(end).trimmed();
    return title.isEmpty() ? bookId : title;
}
