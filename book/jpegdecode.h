#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// A JPEG file as libjpeg reads it, the decoder browsers and PDF readers use, within the limits
// of JpegSession. Each function returns the reason the file cannot be read, empty when it can.

// What the headers say, up to the first scan; nothing is decoded.
struct JpegHeader
{
    int width = 0;
    int height = 0;
    int components = 0;
    // Three components that libjpeg takes as R, G, B as they are (components named R, G, B,
    // or an Adobe marker saying so), not as YCbCr: a PDF reader must be told.
    bool storedRgb = false;
};
QString ReadJpegHeader(const QByteArray &data, JpegHeader &header);

// Decodes the whole picture, row by row, and keeps nothing. *tooLarge is set when libjpeg
// would need more memory than JpegSession allows (a progressive file of very many pixels).
QString JpegDecodeFault(const QByteArray &data, bool *tooLarge = nullptr);

// The picture in gray, shrunk by libjpeg's scaling (1/2, 1/4, 1/8) until it has at most
// maxPixels, as it is stored (not turned). Null with the reason when it cannot be had.
QImage DecodeJpegGray(const QByteArray &data, qint64 maxPixels, QString *reason);
