#include "pageimage.h"

#include <cstring>

namespace {

const QByteArray PngSignature("\x89PNG\r\n\x1a\n", 8);

quint32 be32(const unsigned char *p)
{
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

PageImageInfo refused(const QString &reason)
{
    PageImageInfo info;
    info.reason = reason;
    return info;
}

PageImageInfo inspectPng(const QByteArray &bytes)
{
    // The signature, then IHDR: length 13, type, width, height.
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    if (bytes.size() < 8 + 8 + 13 || be32(p + 8) != 13 || std::memcmp(p + 12, "IHDR", 4) != 0)
        return refused(QStringLiteral("a PNG without its header"));
    const quint32 width = be32(p + 16), height = be32(p + 20);
    if (width == 0 || height == 0 || width > 0x7fffffff || height > 0x7fffffff)
        return refused(QStringLiteral("a PNG of %1 x %2 pixels").arg(width).arg(height));
    PageImageInfo info;
    info.kind = PageImageInfo::Kind::Png;
    info.width = int(width);
    info.height = int(height);
    return info;
}

// The orientation entry (0x0112) of an Exif segment's first image directory; 1 when none.
int exifOrientation(const unsigned char *segment, qsizetype length)
{
    if (length < 6 + 8 || std::memcmp(segment, "Exif\0\0", 6) != 0)
        return 1;
    const unsigned char *tiff = segment + 6;
    const qsizetype size = length - 6;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 1;
    auto u16 = [&](qsizetype at) { return little ? tiff[at] | (tiff[at + 1] << 8) : (tiff[at] << 8) | tiff[at + 1]; };
    auto u32 = [&](qsizetype at) {
        return little ? quint32(tiff[at]) | (quint32(tiff[at + 1]) << 8) | (quint32(tiff[at + 2]) << 16) | (quint32(tiff[at + 3]) << 24)
                      : be32(tiff + at);
    };
    if (u16(2) != 42)
        return 1;
    const quint32 ifd = u32(4);
    if (ifd < 8 || qsizetype(ifd) + 2 > size)
        return 1;
    const int entries = u16(ifd);
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = qsizetype(ifd) + 2 + qsizetype(i) * 12;
        if (entry + 12 > size)
            return 1;
        if (u16(entry) == 0x0112 && u16(entry + 2) == 3) { // SHORT
            const int value = u16(entry + 8);
            return value >= 1 && value <= 8 ? value : 1;
        }
    }
    return 1;
}

PageImageInfo inspectJpeg(const QByteArray &bytes)
{
    // Segments up to the frame header; an Exif segment on the way gives the orientation.
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.constData());
    const qsizetype size = bytes.size();
    int orientation = 1;
    qsizetype at = 2;
    while (at + 4 <= size) {
        if (p[at] != 0xFF)
            return refused(QStringLiteral("a JPEG with damaged headers"));
        const int marker = p[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        const int length = (p[at + 2] << 8) | p[at + 3];
        if (length < 2 || at + 2 + length > size)
            return refused(QStringLiteral("a JPEG cut off in its headers"));
        const unsigned char *segment = p + at + 4;
        if (marker == 0xE1 && orientation == 1)
            orientation = exifOrientation(segment, length - 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 8)
                return refused(QStringLiteral("a JPEG with a damaged frame header"));
            PageImageInfo info;
            info.height = (segment[1] << 8) | segment[2];
            info.width = (segment[3] << 8) | segment[4];
            if (info.width == 0 || info.height == 0)
                return refused(QStringLiteral("a JPEG of %1 x %2 pixels").arg(info.width).arg(info.height));
            info.kind = PageImageInfo::Kind::Jpeg;
            info.orientation = orientation;
            return info;
        }
        if (marker == 0xDA || marker == 0xD9)
            break;
        at += 2 + length;
    }
    return refused(QStringLiteral("a JPEG without a frame header"));
}

} // namespace

PageImageInfo InspectPageImage(const QByteArray &bytes)
{
    if (bytes.startsWith(PngSignature))
        return inspectPng(bytes);
    if (bytes.startsWith(QByteArray("\xFF\xD8\xFF", 3)))
        return inspectJpeg(bytes);
    if (bytes.isEmpty())
        return refused(QStringLiteral("no data"));
    return refused(QStringLiteral("not a JPEG or PNG image"));
}
