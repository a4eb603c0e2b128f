#pragma once

#include <QByteArray>
#include <QString>

// What a page image's bytes are, from their signature and header alone (nothing decoded).
struct PageImageInfo {
    enum class Kind { None, Png, Jpeg };
    Kind kind = Kind::None;
    int width = 0;
    int height = 0;
    QString reason;              // why the bytes are no usable page image, when kind is None
    bool usable() const { return kind != Kind::None; }
};

// PNG: the signature, an IHDR chunk first (its CRC, a size above 0 and within the page limit,
// a valid bit depth for its colour type) and an IEND chunk last, so a file cut short is found.
// JPEG: the structure the build takes (jpegstructure.h), a frame of a size above 0 and within
// the page limit. Anything else, empty bytes included, is no page image.
PageImageInfo InspectPageImage(const QByteArray &bytes);
