#include "capturedpage.h"

#include "apperror.h"
#include "bookidentity.h"
#include "pagereport.h"
#include "protocoltext.h"
#include "vbooks.h"

#include <QUrl>

CapturedPage StoreCapturedPage(TvBookobj &book, const PageReport &report, int lastPage)
{
    CapturedPage page;
    // A number the book does not have would name a file of no page ("0000.jpg", "-2147483648.jpg").
    const int highest = lastPage > 0 ? qMin(lastPage, MaxBookPages) : MaxBookPages;
    int number = 0;
    if (!TryStrToInt(report.currpage, &number) || number < 1 || number > highest) {
        page.fault = QStringLiteral("the viewer reports page \"%1\", which the book does not have").arg(report.currpage.left(40));
        return page;
    }
    PageImageInfo info;
    page.fault = PageReportFault(report, info);
    if (!page.fault.isEmpty())
        return page;
    book.StorePage(report.currpage, report.bytes);
    page.stored = true;
    page.page = book.curpage;
    const QString format = info.kind == PageImageInfo::Kind::Jpeg ? QStringLiteral("JPEG") : QStringLiteral("PNG");
    if (report.source == QLatin1String("site")) {
        page.way = QStringLiteral("site ") + format;
        page.wayLine = QStringLiteral("pages are the site's %1 files").arg(format);
    } else if (report.source == QLatin1String("browser")) {
        page.way = QStringLiteral("browser ") + format;
        page.wayLine = QStringLiteral("pages are the site's %1 files, downloaded by the browser from %2")
                           .arg(format, QUrl(report.src).host());
    } else if (report.source == QLatin1String("canvas")) {
        const QString why = report.why.isEmpty() ? QStringLiteral("the file could not be read") : report.why;
        page.way = QStringLiteral("canvas ") + why;
        page.wayLine = QStringLiteral("page %1: canvas copy (%2)").arg(book.curpage).arg(why);
    }
    return page;
}
