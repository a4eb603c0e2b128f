#pragma once

#include <QByteArray>
#include <QString>

// How far a page file is read.
enum class PageReading {
    // As the check before a page is stored: whatever the build reads, and beyond it the
    // image data itself (a PNG's inflated, a JPEG decoded by libjpeg up to MaxPagePixels), so
    // that what is stored is a picture a reader can show.
    Whole,
    // Signature, markers or chunks with their CRCs, headers: no image data is inflated or
    // decoded. A JPEG that passes goes into the PDF as the build reads it; a PNG's data is
    // decoded only by the build.
    Headers,
};

// What a page file's bytes are: a PNG or a JPEG the build reads, its pixel size as stored and,
// for a JPEG, the EXIF orientation with which viewers show it.
struct PageImageInfo {
    enum class Kind { None, Png, Jpeg };
    Kind kind = Kind::None;
    int width = 0;
    int height = 0;
    QString reason;        // why it is no page image (kind None)
    int orientation = 1;   // EXIF orientation 1-8; 5-8 turn the picture by a quarter
    double dotsPerInchX = 0; // the resolution the file gives its pixels as stored; 0 when none
    double dotsPerInchY = 0;
    QString note;          // what of the file is left out of the page (a damaged colour profile)
    bool usable() const { return kind != Kind::None; }
    // The size as shown: width and height swapped for the quarter turns.
    int displayedWidth() const { return orientation >= 5 ? height : width; }
    int displayedHeight() const { return orientation >= 5 ? width : height; }
};

// The smallest page file: fewer bytes are a broken capture, not a page.
constexpr qsizetype MinPageFileSize = 200;

// The build's reading of a page file's bytes (PageReading::Whole: the check before a page is
// stored). The kind is told by the signature at byte 0. A file the build cannot read, or
// smaller than a page file can be, is Kind None with the reason.
PageImageInfo InspectPageImage(const QByteArray &bytes, PageReading reading = PageReading::Whole);

// The same reading of a stored page file: why the build cannot read it, empty when it can.
// PageReading::Whole takes about as long as decoding the picture (tens of milliseconds for an
// A4 scan); PageReading::Headers a fraction of a millisecond beside reading the file.
QString PageFileFault(const QString &path, PageReading reading = PageReading::Whole);
