#include "pdfassembly.h"

#include "pagebitmap.h"
#include "pagefile.h"
#include "ocrrecognizer.h"
#include "ocrstore.h"
#include "ocrtextwords.h"
#include "pagepipeline.h"
#include "partfiles.h"
#include "pdfprinter.h"

#include <algorithm>
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

// The page's words: its kept result, or recognised now on this worker (one recogniser per
// worker thread, each on one core). A failure leaves the page image-only; a cancelled build
// abandons the recognition in hand.
void readText(PreparedPage &prepared, const QString &pagePath, const QString &language, const std::atomic_bool *cancel)
{
    thread_local std::unique_ptr<OcrRecognizer> recognizer;
    try {
        if (!recognizer)
            recognizer = std::make_unique<OcrRecognizer>();
        prepared.text = LoadOrRecognize(pagePath, language, *recognizer, cancel);
    } catch (const AppError &e) {
        prepared.textFailure = e.message();
    } catch (const std::exception &e) {
        prepared.textFailure = QString::fromLocal8Bit(e.what());
    }
}

// Reads, checks and encodes one page on a worker. Never throws: a page file that cannot be
// read is missing with the reason; a failure of the machine (memory) is kept with the page and
// raised when the writer comes to it, so the build stops there and the earlier PDF stays.
PreparedPage preparePage(const TPDFPrinter &pdf, const QString &pagePath, PagePipeline &pipeline, const std::atomic_bool *cancel,
                         const PdfBuildRequest &request)
{
    PreparedPage prepared;
    try {
        if (cancel && cancel->load())
            return prepared;
        MemoryGrant memory; // held until the page is encoded
        std::unique_ptr<PageBitmap> bitmap = LoadPageBitmap(pagePath, [&](qint64 pixelBytes) {
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
        // The page is the image as a viewer shows it, turned as its orientation says.
        const int width = bitmap->shownWidth(), height = bitmap->shownHeight();
        prepared.dotsPerInch = bitmap->pageDotsPerInch(request.ppi);
        prepared.note = bitmap->note;
        bitmap.reset(); // its pixels are in the encoded image now
        if (!image)
            throw PageFileUnreadable(pagePath, reason);
        prepared.image = {image, [&pdf](void *p) { pdf.FreeImage(p); }};
        prepared.width = width;
        prepared.height = height;
        if (!request.ocrLanguage.isEmpty() && !(cancel && cancel->load()))
            readText(prepared, pagePath, request.ocrLanguage, cancel);
    } catch (const PageFileUnreadable &e) {
        prepared.missing = true;
        prepared.unreadable = e.reason();
    } catch (const AppError &e) {
        prepared.missing = true;
        prepared.unreadable = e.message();
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
    pdf.DocumentInfo = PdfDocumentInfo(request.info);
    pdf.BeginDoc();

    PdfBuildResult result;
    {
        // Pages prepared but not yet written hold encoded images: the pipeline ends before the
        // export does, whichever way this block is left.
        const int workers = PagePipeline::workersForMachine();
        // The pipeline counts its pages from 1.
        const int first = std::max(1, request.firstPage);
        const int offset = first - 1;
        PagePipeline pipeline(std::max(0, request.totalPages - offset), workers, workers + 1, PixelMemoryBudget,
                              [&](int page, PagePipeline &self) {
                                  return preparePage(pdf, request.pageFolder + PageFileName(page + offset), self, cancel,
                                                     request);
                              },
                              cancel);
        for (int i = first; i <= request.totalPages; ++i) {
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
                if (!page->unreadable.isEmpty())
                    result.unreadable.insert(i, page->unreadable);
                continue;
            }
            if (!page->note.isEmpty())
                result.notes << QStringLiteral("page %1: %2").arg(i).arg(page->note);
            pdf.StartPage(page->width, page->height, page->dotsPerInch.x(), page->dotsPerInch.y(), 0);
            pdf.CloseCanvas();
            pdf.DrawImage(0, 0, page->width, page->height, page->image.get());
            if (!page->textFailure.isEmpty()) {
                result.imageOnly += QLatin1Char(' ') + QString::number(i);
                result.textFailures << page->textFailure;
            } else if (page->text && !page->text->words.isEmpty()) {
                const OcrTextWords words(*page->text, QSize(page->width, page->height));
                pdf.DrawText(words.data(), words.count());
            }
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

QString MissingPagesText(const PdfBuildResult &result)
{
    QString text;
    for (const QString &page : result.missing.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        text += QLatin1Char(' ') + page;
        const auto reason = result.unreadable.constFind(page.toInt());
        if (reason != result.unreadable.cend())
            text += QStringLiteral(" (cannot be read: %1)").arg(*reason);
    }
    return text;
}
