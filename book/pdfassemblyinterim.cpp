#include "pdfassembly.h"

#include "activitylog.h"
#include "delayms.h"

namespace {
QString g_progress;
}

QString PdfProgressLine()
{
    return g_progress;
}

QString AssemblePdf(const QString &pageFolder, int totalPages, const QString &outputPath, int ppi)
{
    struct ProgressReset
    {
        ~ProgressReset() { g_progress.clear(); }
    } progressReset;
    const PdfBuildResult result = AssemblePdf(PdfBuildRequest{pageFolder, totalPages, outputPath, ppi}, [](int page) {
        g_progress = QString::asprintf("pdf page %d", page);
        DelayMs(0);
        SetLastLog(g_progress);
    });
    if (result.pagesWritten == 0)
        throw AppError(QStringLiteral("No page of the book could be read: no PDF was written."));
    return result.missing;
}
