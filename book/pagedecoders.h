#pragma once

#include "apperror.h"
#include "pagebitmap.h"

#include <QByteArray>
#include <QString>
#include <memory>

// The decoders behind LoadPageBitmap, one per kind of page file. Each checks the size its
// header claims before it allocates anything for the pixels, and throws PageFileError.

// A PNG decoded row by row into 8-bit samples as stored (palette and small depths widened,
// transparency as alpha, 16-bit samples scaled).
std::unique_ptr<PageBitmap> DecodePngPage(const QByteArray &data, const QString &path, const BeforeDecoding &beforeDecoding);

// A JPEG checked by its markers and headers, not decoded: its bytes go into the PDF.
std::unique_ptr<PageBitmap> ReadJpegPage(const QByteArray &data, const QString &path);

// "Page file "<path>" cannot be read: <reason>"
AppError PageFileError(const QString &path, const QString &reason);

// The reason for a page whose header claims more pixels than a page can have.
QString TooLargeReason(qint64 width, qint64 height);
// The reason for a page whose header claims more pixels than its data can hold.
QString ImplausibleSizeReason(qint64 width, qint64 height, qint64 dataBytes);
