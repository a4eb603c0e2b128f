#include "vbooks.h"

#include "bookidentity.h"
#include "bookinfo.h"
#include "folders.h"

QString TePubobj::PdfPath() const
{
    return AppFolders().dataFolder + BookPdfName(id) + QStringLiteral(".pdf");
}

bool TePubobj::BuildBook(int totalPages, TBookBuilder::Done done)
{
    if (Builder.Busy())
        return false;
    outputfile.clear();
    PdfBuildRequest request;
    request.pageFolder = PageFolder();
    request.totalPages = totalPages;
    request.outputPath = PdfPath();
    request.ppi = ScreenPixelsPerInch();
    // Kept with the pages when the run began, so a Rebuild names the book the same way.
    const std::optional<BookInfo> info = LoadBookInfo(request.pageFolder);
    request.title = info && !info->title.isEmpty() ? info->title : id;
    request.address = info ? info->address : QString();
    request.ocrLanguage = OcrLanguage;
    return Builder.Start(request, [this, done = std::move(done)](const BookBuildOutcome &outcome) {
        if (outcome.kind == BookBuildOutcome::Written)
            outputfile = outcome.path;
        if (done)
            done(outcome);
    });
}
