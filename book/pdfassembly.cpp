#include "pdfassembly.h"

#include "pagebitmap.h"
#include "pagefile.h"
#include "pdfprinter.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>

int ScreenPixelsPerInch()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? int(std::lround(screen->logicalDotsPerInch())) : 96;
}

PdfBuildResult AssemblePdf(const PdfBuildRequest &request, const std::function<void(int)> &progress, const std::atomic_bool *cancel)
{
    if (request.totalPages > MaxBookPages)
        throw AppError(QStringLiteral("%1 pages are more than a book has: no pdf file built").arg(request.totalPages));
    TPDFPrinter pdf;
    pdf.InMemoryMode = false;
    pdf.Filename = QFile::encodeName(request.outputPath);
    TCustomPDFExport::DLLName = QStringLiteral("converter.dll");
    pdf.Title = request.title;
    pdf.Subject = request.address;
    PdfBuildResult result;
    const int ppi = request.ppi;

    pdf.BeginDoc();
    for (int i = 1; i <= request.totalPages; ++i) {
        if (cancel && cancel->load())
            throw BuildCancelled();
        if (progress)
            progress(i);
        const QString pagePath = request.pageFolder + PageFileName(i);
        std::unique_ptr<PageBitmap> bitmap;
        if (QFile::exists(pagePath))
            bitmap = LoadPageBitmap(pagePath);
        if (!bitmap) {
            result.missing += QLatin1Char(' ') + QString::number(i);
            continue;
        }
        pdf.StartPage(bitmap->width, bitmap->height, ppi, ppi, 0);
        pdf.CloseCanvas();
        const PDFE_Bitmap handle = bitmap->handle();
        pdf.DrawBitmap(0, 0, bitmap->width, bitmap->height, &handle);
        pdf.EndPage();
        ++result.pagesWritten;
    }
    if (result.pagesWritten > 0)
        pdf.EndDoc(); // else the export ends unfinished, which leaves no file
    return result;
}
