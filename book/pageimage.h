#pragma once

#include <QByteArray>
#include <QString>

// What a page file's first bytes say: a PNG or a JPEG the build reads, its pixel size as
// stored and, for a JPEG, the EXIF orientation with which viewers show it.
struct PageImageInfo {
    enum class Kind { None, Png, Jpeg };
    Kind kind = Kind::None;
    int width = 0;
    int height = 0;
    QString reason;        // why it is no page image (kind None)
    int orientation = 1;   // EXIF orientation 1-8; 5-8 turn the picture by a quarter
    bool usable() const { return kind != Kind::None; }
    // The size as shown: width and height swapped for the quarter turns.
    int displayedWidth() const { return orientation >= 5 ? height : width; }
    int displayedHeight() const { return orientation >= 5 ? width : height; }
};

// Reads the signature and the headers; nothing is decoded.
PageImageInfo InspectPageImage(const QByteArray &bytes);
