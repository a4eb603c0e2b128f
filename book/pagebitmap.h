#pragma once

#include "apperror.h"
#include "pdfe.h"

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

// The largest page image taken, in pixels: a book page is far smaller (A3 at 600 dpi is 70
// megapixels). Checked from the file's header, before anything is allocated for its pixels.
constexpr std::int64_t MaxPagePixels = 100'000'000;
// Resolutions a file may give its pixels and be printed at: scans are made at 150 to 600 dots
// per inch; cameras and screenshots write 72 or 96, which leave the page at the screen's size.
constexpr int MinScanDotsPerInch = 100;
constexpr int MaxScanDotsPerInch = 1200;

// Pixel memory of a page, from malloc: the samples kept widen in place (realloc) when the
// page turns out to have colour or transparency after rows without.
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
    bool jpegStoredRgb = false; // 3 components that are R, G, B as they are, not YCbCr
    QByteArray iccProfile;     // the colour profile of its colours (a JPEG's, a PNG's), checked whole
    int orientation = 1;       // how the image is shown, as EXIF orientations count (1 to 8)
    double dotsPerInchX = 0;   // the resolution the file gives its pixels as stored; 0 when none
    double dotsPerInchY = 0;
    QString note;              // what of the file is left out (a damaged colour profile)

    // The size of the image as a viewer shows it: turned a quarter for orientations 5 to 8.
    int shownWidth() const { return orientation >= 5 ? height : width; }
    int shownHeight() const { return orientation >= 5 ? width : height; }
    // Pixels per inch of the page as shown, across and down: the file's resolution where it
    // gives one from MinScanDotsPerInch to MaxScanDotsPerInch both ways, else fallback.
    QPoint pageDotsPerInch(int fallback) const;

    PDFE_Bitmap handle() const;
};

// A page file the build cannot read: "Page file "<path>" cannot be read: <reason>".
class PageFileUnreadable : public AppError
{
public:
    PageFileUnreadable(const QString &path, const QString &reason);
    const QString &reason() const { return m_reason; }

private:
    QString m_reason;
};

// Loads a page file, read as InspectPageImage reads it. Nothing (null) when there is no such
// file. One under MinPageFileSize bytes, neither PNG nor JPEG by its signature, damaged, larger
// than a page can be or claiming more pixels than its data can hold, throws PageFileUnreadable
// naming the file and the reason; so does running out of memory or a file that cannot be
// opened.
// Safe to call from several threads at once. beforeDecoding, when given, is called with the
// bytes the decoded pixels will take once the header has passed its checks and before they
// are allocated (not for a JPEG, which is not decoded); it may wait for memory to be free.
using BeforeDecoding = std::function<void(qint64 pixelBytes)>;
std::unique_ptr<PageBitmap> LoadPageBitmap(const QString &path, const BeforeDecoding &beforeDecoding = {});
