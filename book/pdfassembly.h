#pragma once

#include "apperror.h"

#include <QString>
#include <atomic>
#include <functional>

// A book's PDF to write: the page files <pageFolder>/<n>.jpg for n = 1..totalPages, one PDF
// page per readable file, each its image's size at ppi pixels per inch.
struct PdfBuildRequest
{
    QString pageFolder;      // ends with "/"
    int totalPages = 0;
    QString outputPath;
    int ppi = 96;            // read on the GUI thread by the caller
    QString title;           // the document information: the book's title,
    QString address;         // and the address it was captured from
    QString ocrLanguage;     // recognise text in this language and lay it over the pages; empty: none
};

struct PdfBuildResult
{
    QString missing;         // " 3 7": each missing page number after a blank, empty when none
    int pagesWritten = 0;    // 0: no PDF was written and an earlier file at outputPath is untouched
};

// Thrown when the build was cancelled: the earlier PDF stays, no part file is left.
class BuildCancelled : public AppError
{
public:
    BuildCancelled() : AppError(QStringLiteral("The pdf build was cancelled")) {}
};

// No book has more pages than this; a larger count is a broken answer of the viewer.
constexpr int MaxBookPages = 100000;

// Writes the PDF through the PDF engine library. Runs on any thread: no GUI calls, no activity
// log, no event processing. progress(i) is called on the calling thread just before page i
// (1..totalPages, in order, also for missing pages) is written; *cancel is checked at every
// page. Throws AppError on failure (a damaged page names its file); the file at outputPath is
// then left as it was. A request for more than MaxBookPages pages is refused before anything
// is written. A build that finds no usable page writes no file and returns pagesWritten 0.
PdfBuildResult AssemblePdf(const PdfBuildRequest &request, const std::function<void(int page)> &progress = {},
                           const std::atomic_bool *cancel = nullptr);

// Pixels per inch of the screen, as page sizes are reckoned. GUI thread only.
int ScreenPixelsPerInch();
