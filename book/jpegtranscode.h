#pragma once

#include <QByteArray>
#include <QString>

// The same JPEG with Huffman codes in place of arithmetic ones, and with Huffman tables of its
// own where it had none (a motion JPEG frame), which not every PDF reader decodes: libjpeg reads the quantised coefficients and writes them again, so every pixel
// decodes as before. Sequential, with optimised Huffman tables; the colour space and the
// components' names are kept, markers other than the ones libjpeg writes itself are not (the
// page's orientation and profile are read from the original). Within JpegSession's limits.
// Returns the reason when the file cannot be read, empty and the new file in out when it can.
QString HuffmanCodedJpeg(const QByteArray &data, QByteArray &out);
