#include "vbooks.h"

#include "bookidentity.h"
#include "bookinfo.h"
#include "folders.h"

QString TePubobj::PdfPath(int firstPage, int lastPage) const
{
    const QString part = lastPage > 0 ? QStringLiteral(" (pages %1-%2)").arg(firstPage).arg(lastPage) : QString();
    return (OutputFolder.isEmpty() ? AppFolders().dataFolder : OutputFolder) + BookPdfName(id) + part + QStringLiteral(".pdf");
}

bool TePubobj::BuildBook(int totalPages, TBookBuilder::Done done, int firstPage, bool range)
{
    if (Builder.Busy())
        return false;
    outputfile.clear();
    PdfBuildRequest request;
    request.pageFolder = PageFolder();
    request.totalPages = totalPages;
    request.firstPage = firstPage;
    request.outputPath = range ? PdfPath(firstPage, totalPages) : PdfPath();
    request.ppi = ScreenPixelsPerInch();
    // Kept with the pages when the run began, so a Rebuild names the book the same way.
    const std::optional<BookInfo> info = LoadBookInfo(request.pageFolder);
    request.info = info.value_or(BookInfo());
    if (request.info.title.isEmpty())
        request.info.title = id;
    request.ocrLanguage = OcrLanguage;
    return Builder.Start(request, [this, done = std::move(done)](const BookBuildOutcome &outcome) {
        if (outcome.kind == BookBuildOutcome::Written)
            outputfile = outcome.path;
        if (done)
            done(outcome);
    });
}
