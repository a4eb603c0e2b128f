#pragma once

#include "apperror.h"
#include "ocrpage.h"

#include <QImage>
#include <QString>
#include <atomic>
#include <memory>

namespace tesseract {
class TessBaseAPI;
}

// Keeps text recognition to one thread per recognised page. Debian's Tesseract parallelises
// with OpenMP, and on a busy machine its threads wait on each other: a page that takes a
// second on one thread took ten on two shared cores. Pages are recognised side by side on
// worker threads instead. Call once at program start: it keeps OpenMP to one thread on the
// calling thread and sets OMP_THREAD_LIMIT=1 for processes started later; every
// OcrRecognizer also limits the thread it recognises on, whichever that is. It also makes
// the process-wide settings of Tesseract and of Qt's image reader that recognition needs
// (the first OcrRecognizer makes them when this was not called).
void LimitOcrThreads();

// Thrown when a recognition is abandoned because its stop flag was raised.
class OcrStopped : public AppError
{
public:
    OcrStopped();
};

// Recognises the text of page images with Tesseract. An object keeps one Tesseract
// instance (loaded for the language last asked for) and is used on one thread at a time:
// give each worker thread its own. Failures throw AppError.
class OcrRecognizer
{
public:
    OcrRecognizer();
    ~OcrRecognizer();
    OcrRecognizer(const OcrRecognizer &) = delete;
    OcrRecognizer &operator=(const OcrRecognizer &) = delete;

    // A page file as the program stores it (PNG or JPEG, whatever its name's suffix), read as
    // RecognitionImage reads it: upright, a JPEG over the build's page size (MaxPagePixels)
    // reduced. Throws when it cannot be read so.
    OcrPage Recognize(const QString &pageFile, const QString &language, const std::atomic_bool *stop = nullptr);
    // Throws for a null image, a language whose model is not installed ("deu+eng" asks for
    // two) and when Tesseract fails. When *stop turns true (from any thread) a recognition
    // in progress is abandoned within moments and OcrStopped is thrown.
    OcrPage Recognize(const QImage &image, const QString &language, const std::atomic_bool *stop = nullptr);

    // Pages recognised by this object so far.
    int pagesRecognized() const { return m_pages; }

    // Words less sure than this are left out: on pictures Tesseract reads shapes as words,
    // with low confidence.
    static constexpr float MinConfidence = 50;

private:
    void load(const QString &language);

    std::unique_ptr<tesseract::TessBaseAPI> m_api;
    QString m_language;
    int m_pages = 0;
};
