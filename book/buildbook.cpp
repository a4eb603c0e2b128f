#include "vbooks.h"

#include "filenames.h"
#include "bookinfo.h"
#include "folders.h"

namespace {

// Longest file name of a book's PDF, before ".pdf", in characters.
constexpr qsizetype MaxPdfNameLength = 100;
// And in bytes: a name takes 255 bytes, less ".pdf" and the ".part<pid>" suffix of the file
// a build writes before it is renamed into place.
constexpr int MaxPdfNameBytes = 255 - 4 - 16;

} // namespace

QString TePubobj::PdfPath() const
{
    QString name = SafeFileName(id);
    if (name.size() > MaxPdfNameLength)
        name.truncate(MaxPdfNameLength);
    name = TruncateUtf8(name, MaxPdfNameBytes);
    return AppFolders().dataFolder + name + QStringLiteral(".pdf");
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
