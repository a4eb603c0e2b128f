#include "ocrrecognizer.h"

#include "apperror.h"
#include "ocrmodels.h"
#include "pagebitmap.h"
#include "recognitionimage.h"

#include <QImageReader>
#include <algorithm>
#include <mutex>
#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

namespace {

// Tesseract estimates a resolution when none is given, and says so on standard error;
// book scans are near this.
constexpr int AssumedDpi = 300;

// The text of a word, or nothing when it is only blanks.
QString WordText(const char *utf8)
{
    return QString::fromUtf8(utf8).trimmed();
}

// Bytes a decoded pixel takes at most: 16-bit RGBA.
constexpr qint64 MaxDecodedPixelBytes = 8;

// Settings of the whole process, made once before the first recogniser starts; recognisers on
// several threads must not write them while others read them.
void SetUpProcessOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Tesseract's debug file is one variable of the whole process: its messages about
        // every page (estimated resolutions, empty pages) go nowhere.
        tesseract::TessBaseAPI settings;
        settings.SetVariable("debug_file", "/dev/null");
        // Qt's image reader refuses images over 128 MB of pixels, a colour page of about 32
        // megapixels; pages are read here up to the size the build takes.
        const int limitMb = int((MaxPagePixels * MaxDecodedPixelBytes + (1 << 20) - 1) >> 20);
        if (QImageReader::allocationLimit() != 0)
            QImageReader::setAllocationLimit(std::max(QImageReader::allocationLimit(), limitMb));
    });
}

bool StopRequested(const std::atomic_bool *stop)
{
    return stop && stop->load();
}

} // namespace

OcrStopped::OcrStopped() : AppError(QStringLiteral("Text recognition was stopped."))
{
}

void LimitOcrThreads()
{
    // Read by the OpenMP runtime when it loads, which is before main() when it comes linked
    // with Tesseract: it reaches helper processes, not this one. Here the thread's own
    // settings do it: Tesseract asks for a fixed team size in places, which only leaving
    // every parallel region inactive (no active levels) overrides.
    qputenv("OMP_THREAD_LIMIT", "1");
    omp_set_num_threads(1);
    omp_set_max_active_levels(0);
    SetUpProcessOnce();
}

OcrRecognizer::OcrRecognizer()
{
    SetUpProcessOnce();
}

OcrRecognizer::~OcrRecognizer()
{
    if (m_api)
        m_api->End();
}

void OcrRecognizer::load(const QString &language)
{
    if (m_api && m_language == language)
        return;
    for (const QString &part : language.split(QLatin1Char('+'))) {
        if (!IsOcrLanguageInstalled(part))
            throw AppError(QStringLiteral("No text recognition model for the language \"%1\" is installed (package %2).")
                               .arg(part, OcrModelPackage(part)));
    }
    m_api.reset();
    m_language.clear();
    auto api = std::make_unique<tesseract::TessBaseAPI>();
    // Lines are tried again inverted when read with little confidence: book pages are dark on
    // light, and the second try costs time on every smudged line.
    api->SetVariable("tessedit_do_invert", "0");
    const QByteArray folder = OcrModelFolder().toLocal8Bit();
    const QByteArray name = language.toUtf8();
    if (api->Init(folder.constData(), name.constData(), tesseract::OEM_LSTM_ONLY) != 0)
        throw AppError(QStringLiteral("Text recognition could not start for \"%1\" (models in %2).")
                           .arg(language, OcrModelFolder()));
    api->SetPageSegMode(tesseract::PSM_AUTO);
    m_api = std::move(api);
    m_language = language;
}

OcrPage OcrRecognizer::Recognize(const QString &pageFile, const QString &language, const std::atomic_bool *stop)
{
    if (StopRequested(stop))
        throw OcrStopped();
    // Upright, as the page is shown in the PDF: the words' boxes are those of the page as shown.
    QString reason;
    const QImage image = RecognitionImage(pageFile, &reason);
    if (image.isNull())
        throw AppError(QStringLiteral("Cannot read the page image %1: %2").arg(pageFile, reason));
    return Recognize(image, language, stop);
}

OcrPage OcrRecognizer::Recognize(const QImage &image, const QString &language, const std::atomic_bool *stop)
{
    if (image.isNull())
        throw AppError(QStringLiteral("No page image to recognise."));
    load(language);
    if (StopRequested(stop))
        throw OcrStopped();
    // This thread's OpenMP settings, see LimitOcrThreads().
    omp_set_num_threads(1);
    omp_set_max_active_levels(0);

    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    if (StopRequested(stop))
        throw OcrStopped();
    m_api->SetImage(gray.constBits(), gray.width(), gray.height(), 1, int(gray.bytesPerLine()));
    m_api->SetSourceResolution(AssumedDpi);
    // Tesseract asks between words whether to go on.
    tesseract::ETEXT_DESC monitor;
    if (stop) {
        monitor.cancel = [](void *flag, int) { return static_cast<const std::atomic_bool *>(flag)->load(); };
        monitor.cancel_this = const_cast<std::atomic_bool *>(stop);
    }
    const int status = m_api->Recognize(&monitor);
    if (StopRequested(stop)) {
        m_api->Clear();
        throw OcrStopped();
    }
    if (status != 0) {
        m_api->Clear();
        throw AppError(QStringLiteral("Text recognition failed on a page of %1 x %2 pixels.")
                           .arg(image.width())
                           .arg(image.height()));
    }
    OcrPage page;
    page.language = language;
    page.imageSize = image.size();
    std::unique_ptr<tesseract::ResultIterator> it(m_api->GetIterator());
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_WORD))
                continue;
            const std::unique_ptr<char[]> utf8(it->GetUTF8Text(tesseract::RIL_WORD));
            const QString text = WordText(utf8.get());
            const float confidence = it->Confidence(tesseract::RIL_WORD);
            int left = 0, top = 0, right = 0, bottom = 0;
            if (text.isEmpty() || confidence < MinConfidence
                || !it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom) || right <= left || bottom <= top)
                continue;
            page.words.append({text, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), confidence});
        } while (it->Next(tesseract::RIL_WORD));
    }
    m_api->Clear();
    ++m_pages;
    return page;
}
