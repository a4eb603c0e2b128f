#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What a JPEG file's markers say about its image, read without decoding it.
struct JpegFrame
{
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 0;          // bits per sample
    bool progressive = false;
    bool arithmetic = false;    // arithmetic-coded (SOF9, SOF10)
    bool huffmanTables = false; // Huffman tables of its own (a motion JPEG frame has none: it
                                // is decoded with the standard's example tables)
    bool adobe = false;         // an Adobe (APP14) marker is present
    int adobeTransform = -1;    // its colour transform: 0 none (RGB, CMYK), 1 YCbCr, 2 YCCK
    qsizetype scanBytes = 0;    // entropy-coded data of all scans
    qsizetype end = 0;          // just past the end of image marker: what follows is not the image's
    // Bytes between segments that are no marker (stray data, FF 00 pairs), as offset and length:
    // libjpeg skips them with a warning; the image is whole without them.
    QList<QPair<qsizetype, qsizetype>> strays;
    int orientation = 1;        // the EXIF orientation (1 to 8) of the first Exif segment, else 1
    double dotsPerInchX = 0;    // the scan's resolution, JFIF's where it says one, else Exif's;
    double dotsPerInchY = 0;    // 0 when neither does
    QByteArray iccProfile;      // the ICC profile its APP2 segments carry whole, in order; else empty
};

// Walks the markers of a whole JPEG file without decoding it: start of image first, one frame
// (SOFn) of a kind browsers show (baseline, progressive or arithmetic-coded, 8 bits per sample,
// 1, 3 or 4 components), tables, at least one scan, and an end of image marker, so a file cut
// short or with damaged segments is found. Stray bytes between segments are skipped as libjpeg
// skips them (frame.strays), and whatever follows the end of image marker (a second picture of
// a phone camera's file, the next frame of a motion JPEG) is not read (frame.end). The
// orientation, resolution and ICC profile are taken as browsers take them; damaged ones are
// left out (orientation 1, no resolution, no profile) without refusing the file. Fills frame;
// returns an empty string when the file is whole, else the reason it cannot be used.
QString CheckJpegStructure(const QByteArray &data, JpegFrame &frame);

// The file as a PDF reader is to get it: up to its end of image marker, without stray bytes.
QByteArray JpegImageBytes(const QByteArray &data, const JpegFrame &frame);
