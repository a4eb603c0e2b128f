#include "pdfassembly.h"

#include "pagebitmap.h"
#include "pagefile.h"
#include "pagepipeline.h"
#include "partfiles.h"
#include "pdfprinter.h"

#include <QFile>

#include <malloc.h>
#include <mutex>
#include <new>

namespace {

// Pixels of the pages being decoded and encoded at once, at most, unless a page alone needs
// more: ordinary pages are prepared two at a time, pages of A4 at 300 dpi one at a time.
constexpr std::size_t PixelMemoryBudget = 160u << 20;
// What preparing a page needs beside its decoded pixels: the encoder's samples, filtered rows
// and compressed output are each at most as large.
constexpr std::size_t EncodingMemoryFactor = 4;

// Page buffers (megabytes each) are mapped from the system and given back when freed. By
// default the C library raises that threshold after the first such buffer is freed (up to
// 32 MB), and the next pages' buffers then come from each worker's heap, which keeps what it
// once held: the process would grow with every page size it met.
void mapLargeBuffers()
{
    static std::once_flag once;
    std::call_once(once, [] { mallopt(M_MMAP_THRESHOLD, 1 << 20); });
}

// Reads, checks and encodes one page on a worker. Never throws: a failure is kept with the
// page and raised when the writer comes to it, so the error is the first in page order.
PreparedPage preparePage(const TPDFPrinter &pdf, const QString &pagePath, PagePipeline &pipeline, const std::atomic_bool *cancel)
{
    PreparedPage prepared;
    try {
        if (cancel && cancel->load())
            return prepared;
        MemoryGrant memory; // held until the page is encoded
        std::unique_ptr<PageBitmap> bitmap;
        if (QFile::exists(pagePath))
            bitmap = LoadPageBitmap(pagePath, [&](qint64 pixelBytes) {
                memory = pipeline.reserveMemory(std::size_t(pixelBytes) * EncodingMemoryFactor);
            });
        if (!bitmap) {
            prepared.missing = true;
            return prepared;
        }
        if (cancel && cancel->load())
            return prepared;
        QString reason;
        void *image = pdf.EncodeImage(bitmap->handle(), &reason);
        const int width = bitmap->width, height = bitmap->height;
        bitmap.reset(); // its pixels are in the encoded image now
        if (!image)
            throw AppError(QStringLiteral("Error in EncodeImage! %1 (page file \"%2\")").arg(reason, pagePath));
        prepared.image = {image, [&pdf](void *p) { pdf.FreeImage(p); }};
        prepared.width = width;
        prepared.height = height;
    } catch (const AppError &e) {
        prepared.failure = e.message();
    } catch (const std::bad_alloc &) {
        prepared.failure = QStringLiteral("Page file \"%1\" cannot be read: out of memory").arg(pagePath);
    } catch (const std::exception &e) {
        prepared.failure = QStringLiteral("Page file \"%1\" cannot be read: %2").arg(pagePath, QString::fromLocal8Bit(e.what()));
    }
    return prepared;
}

} // namespace

BuildCancelled::BuildCancelled() : AppError(QStringLiteral("The PDF build was cancelled."))
{
}

PdfBuildResult AssemblePdf(const PdfBuildRequest &request, const std::function<void(int page)> &progress,
                           const std::atomic_bool *cancel)
{
    if (request.totalPages > MaxBookPages)
        throw AppError(QStringLiteral("A book of %1 pages is longer than the %2 pages a PDF is built for.")
                           .arg(request.totalPages)
                           .arg(MaxBookPages));
    auto cancelled = [cancel] { return cancel && cancel->load(); };
    if (cancelled())
        throw BuildCancelled();
    RemoveStalePartFiles(request.outputPath);
    mapLargeBuffers();

    TPDFPrinter pdf;
    pdf.InMemoryMode = false;
    pdf.Filename = QFile::encodeName(request.outputPath);
    pdf.BeginDoc();

    PdfBuildResult result;
    {
        // Pages prepared but not yet written hold encoded images: the pipeline ends before the
        // export does, whichever way this block is left.
        const int workers = PagePipeline::workersForMachine();
        PagePipeline pipeline(request.totalPages, workers, workers + 1, PixelMemoryBudget,
                              [&](int page, PagePipeline &self) {
                                  return preparePage(pdf, request.pageFolder + PageFileName(page), self, cancel);
                              },
                              cancel);
        for (int i = 1; i <= request.totalPages; ++i) {
            std::optional<PreparedPage> page = pipeline.take();
            if (!page)
                throw BuildCancelled();
            if (progress)
                progress(i);
            if (cancelled())
                throw BuildCancelled();
            if (!page->failure.isEmpty())
                throw AppError(page->failure);
            if (page->missing) {
                result.missing += QLatin1Char(' ') + QString::number(i);
                continue;
            }
            pdf.StartPage(page->width, page->height, request.ppi, request.ppi, 0);
            pdf.CloseCanvas();
            pdf.DrawImage(0, 0, page->width, page->height, page->image.get());
            pdf.EndPage();
            ++result.pagesWritten;
        }
    }
    if (result.pagesWritten == 0) {
        pdf.Abandon(); // nothing to show for it: an earlier PDF is better than an empty one
        return result;
    }
    pdf.EndDoc();
    return result;
}
