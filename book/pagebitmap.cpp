#include "pagebitmap.h"

#include "pagedecoders.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

#include <new>

namespace {

// A page file larger than this cannot be a page image within MaxPagePixels.
constexpr qint64 MaxPageFileSize = 4 * MaxPagePixels + (1 << 20);

} // namespace

PageFileUnreadable::PageFileUnreadable(const QString &path, const QString &reason)
    : AppError(QStringLiteral("Page file \"%1\" cannot be read: %2").arg(path, reason)), m_reason(reason)
{
}

QString TooLargeReason(qint64 width, qint64 height)
{
    return QStringLiteral("its image of %1 x %2 pixels is larger than a book page can be (at most %3 megapixels)")
        .arg(width)
        .arg(height)
        .arg(MaxPagePixels / 1'000'000);
}

QString ImplausibleSizeReason(qint64 width, qint64 height, qint64 dataBytes)
{
    return QStringLiteral("its header claims %1 x %2 pixels, more than its %3 bytes of data can hold").arg(width).arg(height).arg(dataBytes);
}

PDFE_Bitmap PageBitmap::handle() const
{
    PDFE_Bitmap h{};
    h.width = width;
    h.height = height;
    h.bytesPerRow = bytesPerRow;
    h.format = format;
    h.pixels = pixels.get();
    h.jpeg = jpeg.isEmpty() ? nullptr : reinterpret_cast<const std::uint8_t *>(jpeg.constData());
    h.jpegSize = std::size_t(jpeg.size());
    h.jpegComponents = jpegComponents;
    h.jpegAdobeInverted = jpegAdobeInverted ? 1 : 0;
    if (!palette.isEmpty()) {
        h.palette = reinterpret_cast<const std::uint8_t *>(palette.constData());
        h.paletteCount = int32_t(palette.size() / 3);
    }
    if (!paletteAlpha.isEmpty() && paletteAlpha.size() == palette.size() / 3)
        h.paletteAlpha = reinterpret_cast<const std::uint8_t *>(paletteAlpha.constData());
    h.grayKeyed = grayKey >= 0 ? 1 : 0;
    h.grayKey = grayKey >= 0 ? grayKey : 0;
    h.orientation = orientation;
    h.jpegStoredRgb = jpegStoredRgb ? 1 : 0;
    if (!iccProfile.isEmpty()) {
        h.iccProfile = reinterpret_cast<const std::uint8_t *>(iccProfile.constData());
        h.iccProfileSize = std::size_t(iccProfile.size());
    }
    return h;
}

QPoint PageBitmap::pageDotsPerInch(int fallback) const
{
    const int x = int(std::lround(dotsPerInchX)), y = int(std::lround(dotsPerInchY));
    if (x < MinScanDotsPerInch || x > MaxScanDotsPerInch || y < MinScanDotsPerInch || y > MaxScanDotsPerInch)
        return QPoint(fallback, fallback);
    return orientation >= 5 ? QPoint(y, x) : QPoint(x, y);
}

QString ReadPageFile(const QString &path, QByteArray *bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    if (file.size() > MaxPageFileSize)
        return QStringLiteral("the file of %1 bytes is larger than a page file can be").arg(file.size());
    *bytes = file.readAll();
    return {};
}

std::unique_ptr<PageBitmap> DecodePageBitmap(const QByteArray &data, const QString &path, const BeforeDecoding &beforeDecoding)
{
    try {
        // By content, whatever the file's name says: the signature at byte 0.
        QString reason;
        switch (PageFileKind(data, &reason)) {
        case PageImageInfo::Kind::Png:
            return DecodePngPage(data, path, beforeDecoding);
        case PageImageInfo::Kind::Jpeg:
            return ReadJpegPage(data, path);
        case PageImageInfo::Kind::None:
            break;
        }
        throw PageFileUnreadable(path, reason);
    } catch (const std::bad_alloc &) {
        throw PageFileUnreadable(path, QStringLiteral("out of memory"));
    }
}

std::unique_ptr<PageBitmap> LoadPageBitmap(const QString &path, const BeforeDecoding &beforeDecoding)
{
    if (!QFileInfo::exists(path))
        return nullptr;
    QByteArray data;
    if (const QString reason = ReadPageFile(path, &data); !reason.isEmpty())
        throw PageFileUnreadable(path, reason);
    return DecodePageBitmap(data, path, beforeDecoding);
}
