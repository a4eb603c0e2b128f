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

// A page image ready to hand to the PDF engine library: decoded pixels (8 bits per sample, or
// palette indices and small gray depths packed as the file holds them), or a JPEG file's own
// bytes, which go into the PDF as they are.
struct PageBitmap
{
    int width = 0;             // as stored
    int height = 0;
    int format = PDFE_RGBA8;   // PDFE_GRAY8, PDFE_GRAYA8, PDFE_RGB8, PDFE_RGBA8 or a packed one
    int bytesPerRow = 0;
    PixelMemory pixels;
    QByteArray palette;        // packed indices: red, green, blue of each entry
    QByteArray paletteAlpha;   // empty (opaque), or the opacity of each entry
    int grayKey = -1;          // packed gray: the transparent sample value, -1 for none
    QByteArray jpeg;           // a JPEG page's own bytes
    int jpegComponents = 0;    // 1, 3 or 4
    bool jpegAdobeInverted = false; // 4 components stored inverted, as Adobe's marker says
    QByteArray iccProfile;     // a JPEG's colour profile
    int orientation = 1;       // how the image is shown, as EXIF orientations count (1 to 8)

    // The size of the image as a viewer shows it: turned a quarter for orientations 5 to 8.
    int shownWidth() const { return orientation >= 5 ? height : width; }
    int shownHeight() const { return orientation >= 5 ? width : height; }

    PDFE_Bitmap handle() const;
};

// Loads a page file. Nothing (null) for a file under 200 bytes or one that is neither PNG nor
// JPEG by its signature. A damaged image of either kind, one larger than a page can
// be or one that claims more pixels than its data can hold, throws AppError naming the file;
// so does running out of memory. A file that cannot be read throws "Cannot open file ...".
// Safe to call from several threads at once. beforeDecoding, when given, is called with the
// bytes the decoded pixels will take once the header has passed its checks and before they
// are allocated (not for a JPEG, which is not decoded); it may wait for memory to be free.
using BeforeDecoding = std::function<void(qint64 pixelBytes)>;
std::unique_ptr<PageBitmap> LoadPageBitmap(const QString &path, const BeforeDecoding &beforeDecoding = {});
