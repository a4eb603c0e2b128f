#include "pageimage.h"

#include "jpegstructure.h"
#include "pagebitmap.h"
#include "pagedecoders.h"

#include <cstdint>
#include <cstring>
#include <zlib.h>

namespace {

constexpr unsigned char PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The IHDR chunk: length, type, 13 bytes of content, CRC.
constexpr qsizetype IhdrContentLength = 13;
constexpr qsizetype PngHeaderEnd = 8 + 4 + 4 + IhdrContentLength + 4;
// The IEND chunk as every PNG ends: no content, so always the same 12 bytes.
constexpr unsigned char PngEnd[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

std::uint32_t bigEndian32(const unsigned char *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

bool validPngDepth(int colourType, int depth)
{
    switch (colourType) {
    case 0: // gray
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: // palette
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: // RGB
    case 4: // gray and alpha
    case 6: // RGBA
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

PageImageInfo refused(const QString &reason)
{
    PageImageInfo info;
    info.reason = reason;
    return info;
}

QString sizeRefusal(std::int64_t width, std::int64_t height)
{
    if (width <= 0 || height <= 0)
        return QStringLiteral("its image of %1 x %2 pixels is empty").arg(width).arg(height);
    if (width * height > MaxPagePixels)
        return TooLargeReason(width, height);
    return {};
}

PageImageInfo inspectPng(const QByteArray &bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    if (bytes.size() < PngHeaderEnd + qsizetype(sizeof PngEnd))
        return refused(QStringLiteral("the PNG image of %1 bytes is cut short").arg(bytes.size()));
    const unsigned char *chunk = p + 8;
    if (bigEndian32(chunk) != IhdrContentLength || std::memcmp(chunk + 4, "IHDR", 4) != 0)
        return refused(QStringLiteral("the PNG image does not begin with its header"));
    if (crc32(0, chunk + 4, 4 + IhdrContentLength) != bigEndian32(chunk + 8 + IhdrContentLength))
        return refused(QStringLiteral("the PNG image's header is damaged"));
    const unsigned char *ihdr = chunk + 8;
    const std::uint32_t width = bigEndian32(ihdr);
    const std::uint32_t height = bigEndian32(ihdr + 4);
    const int depth = ihdr[8], colourType = ihdr[9];
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        return refused(QStringLiteral("the PNG image's header is damaged"));
    if (const QString reason = sizeRefusal(width, height); !reason.isEmpty())
        return refused(reason);
    if (!validPngDepth(colourType, depth) || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
        return refused(QStringLiteral("the PNG image's header is damaged"));
    if (std::memcmp(p + bytes.size() - sizeof PngEnd, PngEnd, sizeof PngEnd) != 0)
        return refused(QStringLiteral("the PNG image is cut short"));
    PageImageInfo info;
    info.kind = PageImageInfo::Kind::Png;
    info.width = int(width);
    info.height = int(height);
    return info;
}

PageImageInfo inspectJpeg(const QByteArray &bytes)
{
    JpegFrame frame;
    if (const QString reason = CheckJpegStructure(bytes, frame); !reason.isEmpty())
        return refused(reason);
    if (const QString reason = sizeRefusal(frame.width, frame.height); !reason.isEmpty())
        return refused(reason);
    PageImageInfo info;
    info.kind = PageImageInfo::Kind::Jpeg;
    info.width = frame.width;
    info.height = frame.height;
    info.orientation = frame.orientation;
    return info;
}

} // namespace

PageImageInfo InspectPageImage(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return refused(QStringLiteral("no image data"));
    if (bytes.startsWith(QByteArray::fromRawData(reinterpret_cast<const char *>(PngSignature), sizeof PngSignature)))
        return inspectPng(bytes);
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return inspectJpeg(bytes);
    return refused(QStringLiteral("neither a PNG nor a JPEG image"));
}
