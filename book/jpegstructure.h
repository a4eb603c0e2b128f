#pragma once

#include <QByteArray>
#include <QString>

// What a JPEG file's headers say about its image.
struct JpegFrame
{
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 0;          // bits per sample
    bool progressive = false;
    bool adobe = false;         // an Adobe (APP14) marker is present
    int adobeTransform = -1;    // its colour transform: 0 none (RGB, CMYK), 1 YCbCr, 2 YCCK
    qsizetype scanBytes = 0;    // entropy-coded data of all scans
    int orientation = 1;        // the EXIF orientation (1 to 8) of the first Exif segment, else 1
    QByteArray iccProfile;      // the ICC profile its APP2 segments carry whole, in order; else empty
};

// Walks the markers of a whole JPEG file without decoding it: start of image first, one frame
// (SOFn) of a kind a PDF reader decodes (baseline or progressive Huffman, 8 bits per sample,
// 1, 3 or 4 components), tables, at least one scan, and the end of image marker as the last two
// bytes, so a file cut short or with damaged segments is found. The orientation and the ICC
// profile are taken as browsers take them; damaged ones are left out (orientation 1, no
// profile) without refusing the file. Fills frame; returns an empty
// string when the file is whole, else the reason it cannot be used.
QString CheckJpegStructure(const QByteArray &data, JpegFrame &frame);
