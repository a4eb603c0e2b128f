#pragma once

#include "apperror.h"
#include "pagebitmap.h"

#include <QByteArray>
#include <QString>
#include <memory>

// The decoders behind LoadPageBitmap, one per kind of page file. Each checks the size its
// header claims before it allocates anything for the pixels, and throws PageFileError.

// A PNG decoded row by row: palette indices and gray samples of 1, 2 or 4 bits packed as
// stored, with their palette and transparency beside them; other kinds into 8-bit samples
// (8-bit gray and colour as stored, transparency as alpha, 16-bit samples scaled).
std::unique_ptr<PageBitmap> DecodePngPage(const QByteArray &data, const QString &path, const BeforeDecoding &beforeDecoding);

// A JPEG checked by its markers and headers, not decoded: its bytes go into the PDF, with
// its EXIF orientation and its ICC profile.
std::unique_ptr<PageBitmap> ReadJpegPage(const QByteArray &data, const QString &path);

// "Page file "<path>" cannot be read: <reason>"
AppError PageFileError(const QString &path, const QString &reason);

// The reason for a page whose header claims more pixels than a page can have.
QString TooLargeReason(qint64 width, qint64 height);
// The reason for a page whose header claims more pixels than its data can hold.
QString ImplausibleSizeReason(qint64 width, qint64 height, qint64 dataBytes);
