#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <functional>
#include <jpeglib.h>

// Page image files for the tests, made the way sites and cameras make them or damaged the way
// transfers and odd encoders damage them.
namespace PageFixtures {

// The image saved by Qt's writer for the format ("PNG", "JPG").
QByteArray encoded(const QImage &image, const char *format, int quality = -1);
// A JFIF JPEG by Qt's writer, baseline or progressive.
QByteArray qtJpeg(const QImage &image, bool progressive = false, int quality = 85);

// A JPEG written by libjpeg from rows fill() makes (components samples a pixel, of the input
// colour space); prepare sets the compressor up once libjpeg's defaults are in.
QByteArray libjpegWritten(int width, int height, int components, J_COLOR_SPACE input,
                          const std::function<void(jpeg_compress_struct &)> &prepare,
                          const std::function<void(int y, JSAMPLE *row)> &fill);
// A JPEG written by libjpeg itself, for the kinds Qt does not write: CMYK or YCCK with Adobe's
// marker (beside a JFIF one, or alone as image editors write CMYK), arithmetic coding. Its
// samples are a pattern of stripes.
QByteArray libjpegFile(int width, int height, J_COLOR_SPACE stored, bool arithmetic = false, bool jfif = true);
// A plain gray JPEG of any size, made row by row with optimised Huffman codes: a blank page
// of 100 megapixels takes a few hundred kilobytes.
QByteArray blankGrayJpeg(int width, int height);

// The offset of the first segment with this marker, found by walking the segments' lengths;
// -1 when there is none before the first scan.
qsizetype jpegSegment(const QByteArray &jpeg, uchar marker);
// The file without its segments of this marker.
QByteArray withoutSegments(const QByteArray &jpeg, uchar marker);
// A segment: 0xFF, the marker, its length and content.
QByteArray jpegSegmentBytes(uchar marker, const QByteArray &content);
// The JPEG with these whole segments right after its start of image marker.
QByteArray withSegmentsFirst(const QByteArray &jpeg, const QByteArray &segments);
// An Exif segment (big-endian TIFF) saying this orientation in its first image directory, or
// only in the second one (the thumbnail's, which browsers do not read).
QByteArray exifSegment(int orientation, bool inThumbnailDirectory = false);
// The JPEG with an ICC profile in APP2 segments of at most chunk bytes of it each.
QByteArray withIccProfile(const QByteArray &jpeg, const QByteArray &profile, int chunk);
// Writes a 16-bit big-endian word at.
void putWord(QByteArray &bytes, qsizetype at, int value);

// A PNG chunk: its length, type, content and CRC.
QByteArray pngChunk(const char *type, const QByteArray &content);
// A small but well-formed PNG whose header claims width x height pixels of 8-bit samples: its
// image data is a few rows of zeros and a comment pads it past the size of a broken capture.
QByteArray claimingPng(quint32 width, quint32 height, int colourType);

// A PNG of 8-bit samples whose every pixel is pixel (its samples as the colour type has them):
// the first row as it is, the others by the "up" filter, so that it is about a thousandth of
// the size of its samples.
QByteArray repeatingPng(quint32 width, quint32 height, int colourType, const QByteArray &pixel);

} // namespace PageFixtures
