#include "pagebitmap.h"

#include "pagedecoders.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

#include <new>

namespace {

// A page file larger than this cannot be a page image within MaxPagePixels.
constexpr qint64 MaxPageFileSize = 4 * MaxPagePixels + (1 << 20);

// Drops what the page does not use: an alpha channel that is opaque everywhere (as a canvas
// exports pages) and the colour of a page whose pixels are all gray. The samples move
// down in place and the memory shrinks with them, so the encoder works on a quarter or three
// quarters of the bytes the page was decoded into.
void dropUnusedSamples(PageBitmap &bitmap)
{
    if (bitmap.format != PDFE_GRAYA8 && bitmap.format != PDFE_RGB8 && bitmap.format != PDFE_RGBA8)
        return; // one channel already, or packed
    const int channels = bitmap.format == PDFE_GRAY8 ? 1 : bitmap.format == PDFE_GRAYA8 ? 2 : bitmap.format == PDFE_RGB8 ? 3 : 4;
    if (channels == 1)
        return;
    const bool hasAlpha = channels == 2 || channels == 4;
    const int colour = hasAlpha ? channels - 1 : channels;
    // Colour samples under an RGB profile stay colour: the profile is for three of them.
    bool opaque = true, gray = colour == 1 || (colour == 3 && bitmap.iccProfile.isEmpty());
    for (int y = 0; y < bitmap.height && (opaque || gray); ++y) {
        const std::uint8_t *p = bitmap.pixels.get() + std::size_t(bitmap.bytesPerRow) * y;
        for (int x = 0; x < bitmap.width; ++x, p += channels) {
            if (hasAlpha && p[colour] != 255)
                opaque = false;
            if (gray && colour == 3 && (p[0] != p[1] || p[1] != p[2]))
                gray = false;
        }
    }
    const int keepColour = gray ? 1 : 3;
    const int keep = keepColour + (hasAlpha && !opaque ? 1 : 0);
    if (keep == channels)
        return;
    const std::size_t newRow = std::size_t(bitmap.width) * keep;
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t *in = bitmap.pixels.get() + std::size_t(bitmap.bytesPerRow) * y;
        std::uint8_t *out = bitmap.pixels.get() + newRow * y;
        for (int x = 0; x < bitmap.width; ++x, in += channels, out += keep) {
            // Reading ahead of writing: out never passes in, as keep < channels.
            out[0] = in[0];
            if (keepColour == 3) {
                out[1] = in[1];
                out[2] = in[2];
            }
            if (keep > keepColour)
                out[keepColour] = in[colour];
        }
    }
    bitmap.bytesPerRow = int(newRow);
    bitmap.format = keep == 1 ? PDFE_GRAY8 : keep == 2 ? PDFE_GRAYA8 : keep == 3 ? PDFE_RGB8 : PDFE_RGBA8;
    if (void *smaller = std::realloc(bitmap.pixels.get(), newRow * bitmap.height)) {
        (void)bitmap.pixels.release();
        bitmap.pixels.reset(static_cast<std::uint8_t *>(smaller));
    }
}

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
        case PageImageInfo::Kind::Png: {
            auto bitmap = DecodePngPage(data, path, beforeDecoding);
            dropUnusedSamples(*bitmap);
            return bitmap;
        }
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
