#include "capturedpage.h"

#include "pagereport.h"
#include "vbooks.h"

CapturedPage StoreCapturedPage(TvBookobj &book, const QString &text)
{
    CapturedPage page;
    PageReport report = ReadPageReport(text);
    PageImageInfo info;
    page.fault = PageReportFault(report, info);
    if (!page.fault.isEmpty())
        return page;
    book.StorePage(report.currpage, report.bytes);
    page.stored = true;
    const QString format = info.kind == PageImageInfo::Kind::Jpeg ? QStringLiteral("JPEG") : QStringLiteral("PNG");
    if (report.source == QLatin1String("site")) {
        page.way = QStringLiteral("site ") + format;
        page.wayLine = QStringLiteral("pages are the site's %1 files").arg(format);
    } else if (report.source == QLatin1String("canvas")) {
        const QString why = report.why.isEmpty() ? QStringLiteral("the file could not be read") : report.why;
        page.way = QStringLiteral("canvas ") + why;
        page.wayLine = QStringLiteral("page %1: canvas copy (%2)").arg(book.curpage).arg(why);
    }
    return page;
}
