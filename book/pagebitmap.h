#pragma once

#include "pdfe.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

// A decoded page image, 8 bits per sample, ready to hand to the PDF engine library.
struct PageBitmap
{
    int width = 0;
    int height = 0;
    int format = PDFE_RGBA8;   // PDFE_GRAY8, PDFE_GRAYA8, PDFE_RGB8 or PDFE_RGBA8
    int bytesPerRow = 0;
    std::vector<std::uint8_t> pixels;
    QByteArray jpeg;           // a JFIF page's own bytes, embedded as they are
    int jpegComponents = 0;

    PDFE_Bitmap handle() const;
};

// Loads a page file. Nothing (null) for a file under 200 bytes or one that is neither PNG nor
// JFIF JPEG by its first 11 bytes. A damaged image of either kind throws the decoder's
// message naming the file; a file that cannot be read throws "Cannot open file ...".
std::unique_ptr<PageBitmap> LoadPageBitmap(const QString &path);
