#include "pdfassembly.h"

#include "activitylog.h"
#include "delayms.h"
#include "pagebitmap.h"
#include "pagefile.h"
#include "pdfprinter.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace {
QString g_progress;
}

QString PdfProgressLine()
{
    return g_progress;
}

int ScreenPixelsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? int(std::lround(screen->logicalDotsPerInch())) : 96;
}

QString AssemblePdf(const QString &pageFolder, int totalPages, const QString &outputPath, int ppi)
{
    TPDFPrinter pdf;
    pdf.InMemoryMode = false;
    pdf.Filename = QFile::encodeName(outputPath);
    TCustomPDFExport::DLLName = QStringLiteral("converter.dll");
    QString missing;

    struct ProgressReset
    {
        ~ProgressReset() { g_progress.clear(); }
    } progressReset;
    pdf.BeginDoc();
    for (int i = 1; i <= totalPages; ++i) {
        g_progress = QString::asprintf("pdf page %d", i);
        DelayMs(0);
        SetLastLog(g_progress);
        const QString pagePath = pageFolder + PageFileName(i);
        std::unique_ptr<PageBitmap> bitmap;
        if (QFile::exists(pagePath))
            bitmap = LoadPageBitmap(pagePath);
        if (!bitmap) {
            missing += QLatin1Char(' ') + QString::number(i);
            continue;
        }
        pdf.StartPage(bitmap->width, bitmap->height, ppi, ppi, 0);
        pdf.CloseCanvas();
        const PDFE_Bitmap handle = bitmap->handle();
        pdf.DrawBitmap(0, 0, bitmap->width, bitmap->height, &handle);
        pdf.EndPage();
    }
    pdf.EndDoc();
    return missing;
}
