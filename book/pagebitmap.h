#pragma once

#include "pdfe.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

// The largest page image taken, in pixels: a book page is far smaller (A3 at 600 dpi is 70
// megapixels). Checked from the file's header, before anything is allocated for its pixels.
constexpr std::int64_t MaxPagePixels = 100'000'000;

// Pixel memory of a page, from malloc so that it can shrink in place (realloc) once the page
// turns out to need fewer samples than it was decoded with.
struct FreeDeleter
{
    void operator()(std::uint8_t *p) const { std::free(p); }
};
using PixelMemory = std::unique_ptr<std::uint8_t[], FreeDeleter>;

// A page image ready to hand to the PDF engine library: decoded pixels, 8 bits per sample,
// or a JPEG file's own bytes, which go into the PDF as they are.
struct PageBitmap
{
    int width = 0;
    int height = 0;
    int format = PDFE_RGBA8;   // PDFE_GRAY8, PDFE_GRAYA8, PDFE_RGB8 or PDFE_RGBA8
    int bytesPerRow = 0;
    PixelMemory pixels;
    QByteArray jpeg;           // a JPEG page's own bytes
    int jpegComponents = 0;    // 1, 3 or 4
    bool jpegAdobeInverted = false; // 4 components stored inverted, as Adobe's marker says

    PDFE_Bitmap handle() const;
};

// Loads a page file. Nothing (null) for a file under 200 bytes or one that is neither PNG nor
// JFIF JPEG by its first 11 bytes. A damaged image of either kind, one larger than a page can
// be or one that claims more pixels than its data can hold, throws AppError naming the file;
// so does running out of memory. A file that cannot be read throws "Cannot open file ...".
// Safe to call from several threads at once. beforeDecoding, when given, is called with the
// bytes the decoded pixels will take once the header has passed its checks and before they
// are allocated (not for a JPEG, which is not decoded); it may wait for memory to be free.
using BeforeDecoding = std::function<void(qint64 pixelBytes)>;
std::unique_ptr<PageBitmap> LoadPageBitmap(const QString &path, const BeforeDecoding &beforeDecoding = {});
