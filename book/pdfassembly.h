#pragma once

#include "bookidentity.h" // MaxBookPages

#include "apperror.h"
#include "bookinfo.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

// What to build: the page files <pageFolder>/<n>.jpg for n = firstPage..totalPages into one PDF
// at outputPath, each page its image's size at ppi pixels per inch.
struct PdfBuildRequest
{
    QString pageFolder;      // ends with "/"
    int totalPages = 0;      // the last page
    int firstPage = 1;
    QString outputPath;
    int ppi = 96;            // for pages whose file gives no resolution; read on the GUI thread by the caller
    BookInfo info;           // the document information: the book's title, the address it came from
    QString ocrLanguage;     // recognise text in this language and lay it over the pages; empty: none
};

struct PdfBuildResult
{
    QString missing;         // " 3 7": each missing page number after a blank, empty when none
    QMap<int, QString> unreadable; // the missing pages whose file is there but cannot be read: why
    int pagesWritten = 0;    // 0: no PDF was written and an earlier file at outputPath is untouched
    QString imageOnly;       // " 4 9": pages whose text could not be recognised (their reasons below)
    QStringList textFailures;
    QStringList notes;       // "page 5: its colour profile is left out: ...", a line a page
};

// The missing pages as the log line "missing pages ..." goes on: each number after a blank,
// an unreadable page's reason after its number: " 2 (cannot be read: <reason>) 7".
QString MissingPagesText(const PdfBuildResult &result);

// Thrown when *cancel became true: the earlier PDF stays, no part file is left.
class BuildCancelled : public AppError
{
public:
    BuildCancelled();
};

// Builds the PDF through the PDF engine library. Page files are read, checked and encoded on
// worker threads a few pages ahead and written in page order by the calling thread.
// Runs on any thread: no GUI calls, no activity log, no event processing. progress(i) is called
// on the calling thread just before page i (1..totalPages, in order, also for missing pages) is
// written. Checks *cancel at every page. A page whose file cannot be read (damaged, too large,
// not an image) is missing, its reason in unreadable; the other pages are built. A page is its
// image's size at the resolution its file gives (PageBitmap::pageDotsPerInch), else at ppi.
// Throws AppError when the PDF cannot be written (library errors: "Error in <op>! <reason>");
// the file at outputPath is then left as it was. A request with totalPages > MaxBookPages is refused before anything is
// written. A build that finds no usable page writes no file and returns pagesWritten 0. Part
// files of earlier builds of outputPath whose process has ended are removed first. With an
// ocrLanguage, each page's text is taken from its kept result (ocr/ beside the pages) or
// recognised on the workers, and laid over the page as invisible text; a page whose text
// cannot be recognised stays image-only and is listed in imageOnly.
PdfBuildResult AssemblePdf(const PdfBuildRequest &request, const std::function<void(int page)> &progress = {},
                           const std::atomic_bool *cancel = nullptr);

// Pixels per inch of the screen, as page sizes are reckoned. GUI thread only.
int ScreenPixelsPerInch();

