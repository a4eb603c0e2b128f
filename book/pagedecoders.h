#pragma once

#include "apperror.h"
#include "pagebitmap.h"
#include "pageimage.h"

#include <QByteArray>
#include <QString>
#include <memory>

// The readers behind InspectPageImage and LoadPageBitmap, one per kind of page file: the
// check before a page is stored and the build read a file with the same code. Each checks
// the size its header claims before it allocates anything for the pixels.

// A PNG: every chunk and its CRC, and (PageReading::Whole) its image data inflated and
// decoded row by row and dropped. Fills the size, resolution and note of info; returns the
// reason it cannot be read, empty when it can.
QString CheckPngPage(const QByteArray &data, PageReading reading, PageImageInfo &info);
// A PNG decoded row by row for the build: palette indices and gray samples of 1, 2 or 4 bits
// packed as stored, with their palette and transparency beside them; other kinds into 8-bit
// samples (8-bit gray and colour as stored, transparency as alpha, 16-bit samples scaled),
// keeping only the channels the page uses (KeptSamples), within a budget the file's size
// sets (the check refuses a page over it as well). Its colour profile, or its gamma applied
// to the samples, as browsers show it.
std::unique_ptr<PageBitmap> DecodePngPage(const QByteArray &data, const QString &path, const BeforeDecoding &beforeDecoding);

// A JPEG: its markers and headers, as the build reads them, and (PageReading::Whole, for a
// picture within MaxPagePixels) the whole picture decoded by libjpeg without a sign of
// damage. Fills info; returns the reason it cannot be read, empty when it can.
QString CheckJpegPage(const QByteArray &data, PageReading reading, PageImageInfo &info);
// A JPEG for the build, not decoded: its bytes go into the PDF up to its end of image marker
// and without stray bytes (arithmetic-coded ones turned into Huffman-coded ones), with its
// EXIF orientation, resolution and ICC profile.
std::unique_ptr<PageBitmap> ReadJpegPage(const QByteArray &data, const QString &path);

// LoadPageBitmap of a file's bytes; path names it in the error.
std::unique_ptr<PageBitmap> DecodePageBitmap(const QByteArray &data, const QString &path, const BeforeDecoding &beforeDecoding);

// The kind of a page file by its signature at byte 0; None with the reason for bytes that
// are no PNG or JPEG, or fewer than MinPageFileSize.
PageImageInfo::Kind PageFileKind(const QByteArray &bytes, QString *reason);
// Reads a whole page file into bytes; the reason when it cannot be opened or is larger than a
// page file can be, else empty.
QString ReadPageFile(const QString &path, QByteArray *bytes);

// The reason for a page whose header claims more pixels than a page can have.
QString TooLargeReason(qint64 width, qint64 height);
// The reason for a page whose header claims more pixels than its data can hold.
QString ImplausibleSizeReason(qint64 width, qint64 height, qint64 dataBytes);
