#include "jpegstructure.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// Markers (the byte after 0xFF) of ISO/IEC 10918-1, table B.1.
constexpr int SOI = 0xD8, EOI = 0xD9, SOS = 0xDA, DQT = 0xDB, DNL = 0xDC, DRI = 0xDD, DHT = 0xC4, DAC = 0xCC,
              COM = 0xFE, APP0 = 0xE0, APP1 = 0xE1, APP2 = 0xE2, APP14 = 0xEE, APP15 = 0xEF, RST0 = 0xD0, RST7 = 0xD7, TEM = 0x01;

bool isFrameMarker(int m)
{
    return m >= 0xC0 && m <= 0xCF && m != DHT && m != 0xC8 && m != DAC;
}

QString hex(int marker)
{
    return QStringLiteral("0x") + QString::number(marker, 16).toUpper();
}

// Why a frame of this kind cannot go into the PDF as it is; empty when it can.
QString frameRefusal(int marker, int precision)
{
    if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF)
        return QStringLiteral("lossless JPEG is not supported");
    if (marker >= 0xC9)
        return QStringLiteral("arithmetic-coded JPEG is not supported");
    if (marker >= 0xC5)
        return QStringLiteral("hierarchical JPEG is not supported");
    if (precision != 8)
        return QStringLiteral("%1-bit JPEG is not supported").arg(precision);
    return {};
}

// The orientation tag (0x0112) of an Exif segment's first image directory: 1 to 8, or 0 when
// there is none or it is damaged.
int exifOrientation(const unsigned char *exif, qsizetype size)
{
    // "Exif\0\0", then a TIFF header: byte order, 42, the first directory's offset.
    if (size < 6 + 8 || std::memcmp(exif, "Exif\0\0", 6) != 0)
        return 0;
    const unsigned char *tiff = exif + 6;
    const qsizetype length = size - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 0;
    auto u16 = [&](qsizetype at) { return little ? tiff[at] | (tiff[at + 1] << 8) : (tiff[at] << 8) | tiff[at + 1]; };
    auto u32 = [&](qsizetype at) { return (quint32(u16(little ? at + 2 : at)) << 16) | quint32(u16(little ? at : at + 2)); };
    if (u16(2) != 42)
        return 0;
    const quint32 directory = u32(4);
    if (directory < 8 || qsizetype(directory) + 2 > length)
        return 0;
    const int entries = u16(directory);
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = qsizetype(directory) + 2 + 12 * qsizetype(i);
        if (entry + 12 > length)
            return 0;
        // Tag, type (3: SHORT), count, and the value itself in the first two bytes.
        if (u16(entry) == 0x0112) {
            const int value = u16(entry + 8);
            return u16(entry + 2) == 3 && u32(entry + 4) == 1 && value >= 1 && value <= 8 ? value : 0;
        }
    }
    return 0;
}

} // namespace

QString CheckJpegStructure(const QByteArray &data, JpegFrame &frame)
{
    const auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const qsizetype size = data.size();
    frame = JpegFrame{};
    if (size < 4 || bytes[0] != 0xFF || bytes[1] != SOI)
        return QStringLiteral("no JPEG start of image marker");
    auto word = [&](qsizetype at) { return (int(bytes[at]) << 8) | bytes[at + 1]; };

    bool sawFrame = false, sawScan = false, sawExif = false;
    // ICC profile chunks by their sequence number (from 1), and how many there are to be.
    std::map<int, QByteArray> iccChunks;
    int iccCount = -1;
    bool iccDamaged = false;
    qsizetype at = 2;
    for (;;) {
        if (at >= size)
            return QStringLiteral("the file ends before its end of image marker (cut short)");
        if (bytes[at] != 0xFF)
            return QStringLiteral("stray data at byte %1").arg(at);
        while (at < size && bytes[at] == 0xFF) // fill bytes may precede a marker
            ++at;
        if (at >= size)
            return QStringLiteral("the file ends before its end of image marker (cut short)");
        const int marker = bytes[at++];
        const qsizetype markerAt = at - 2;

        if (marker == EOI) {
            if (!sawScan)
                return QStringLiteral("no image data before the end of image marker");
            if (at != size)
                return QStringLiteral("%1 bytes after the end of image marker").arg(size - at);
            if (!iccDamaged && iccCount > 0 && int(iccChunks.size()) == iccCount && iccChunks.begin()->first == 1
                && iccChunks.rbegin()->first == iccCount)
                for (const auto &chunk : iccChunks)
                    frame.iccProfile += chunk.second;
            return {};
        }
        if (marker == TEM)
            continue;
        if (marker == SOI || (marker >= RST0 && marker <= RST7))
            return QStringLiteral("misplaced marker %1 at byte %2").arg(hex(marker)).arg(markerAt);

        // Every other marker starts a segment with its length.
        if (at + 2 > size)
            return QStringLiteral("the file ends inside a header (cut short)");
        const int length = word(at);
        if (length < 2 || at + length > size)
            return length < 2 ? QStringLiteral("damaged header at byte %1").arg(markerAt)
                              : QStringLiteral("the file ends inside a header (cut short)");
        const qsizetype segment = at + 2; // the segment's content
        const int contentLength = length - 2;
        at += length;

        if (isFrameMarker(marker)) {
            if (sawFrame)
                return QStringLiteral("a second frame header at byte %1").arg(markerAt);
            if (contentLength < 6)
                return QStringLiteral("damaged frame header");
            frame.precision = bytes[segment];
            frame.height = word(segment + 1);
            frame.width = word(segment + 3);
            frame.components = bytes[segment + 5];
            frame.progressive = marker == 0xC2;
            if (contentLength != 6 + 3 * frame.components)
                return QStringLiteral("damaged frame header");
            const QString refusal = frameRefusal(marker, frame.precision);
            if (!refusal.isEmpty())
                return refusal;
            if (frame.components != 1 && frame.components != 3 && frame.components != 4)
                return QStringLiteral("JPEG of %1 colour components is not supported").arg(frame.components);
            if (frame.width == 0 || frame.height == 0)
                return QStringLiteral("no image size in the frame header (its height given later is not supported)");
            sawFrame = true;
        } else if (marker == SOS) {
            if (!sawFrame)
                return QStringLiteral("image data before the frame header");
            if (contentLength < 1 || contentLength != 4 + 2 * bytes[segment])
                return QStringLiteral("damaged scan header at byte %1").arg(markerAt);
            // The entropy-coded data runs to the next marker: 0xFF 0x00 is a stuffed 0xFF byte,
            // 0xFF 0xD0..0xD7 a restart marker, further 0xFF bytes fill.
            const qsizetype start = at;
            for (;;) {
                const void *ff = at < size ? std::memchr(bytes + at, 0xFF, std::size_t(size - at)) : nullptr;
                if (!ff)
                    return QStringLiteral("the file ends inside the image data (cut short)");
                at = static_cast<const unsigned char *>(ff) - bytes;
                qsizetype next = at + 1;
                while (next < size && bytes[next] == 0xFF)
                    ++next;
                if (next >= size)
                    return QStringLiteral("the file ends inside the image data (cut short)");
                if (bytes[next] == 0x00 || (bytes[next] >= RST0 && bytes[next] <= RST7)) {
                    at = next + 1;
                    continue;
                }
                break; // a marker: the scan has ended
            }
            frame.scanBytes += at - start;
            sawScan = true;
        } else if (marker == APP14) {
            if (contentLength >= 12 && std::memcmp(bytes + segment, "Adobe", 5) == 0) {
                frame.adobe = true;
                frame.adobeTransform = bytes[segment + 11];
            }
        } else if (marker == APP1 && !sawExif && contentLength >= 6 && std::memcmp(bytes + segment, "Exif\0\0", 6) == 0) {
            // Browsers turn the image as its first Exif segment says.
            sawExif = true;
            frame.orientation = std::max(1, exifOrientation(bytes + segment, contentLength));
        } else if (marker == APP2 && contentLength >= 14 && std::memcmp(bytes + segment, "ICC_PROFILE\0", 12) == 0) {
            const int sequence = bytes[segment + 12], count = bytes[segment + 13];
            if (sequence < 1 || sequence > count || (iccCount >= 0 && count != iccCount) || iccChunks.count(sequence))
                iccDamaged = true;
            iccCount = count;
            iccChunks[sequence] = QByteArray(reinterpret_cast<const char *>(bytes + segment + 14), contentLength - 14);
        } else if (marker == DAC) {
            return QStringLiteral("arithmetic-coded JPEG is not supported");
        } else if (marker == DNL) {
            return QStringLiteral("no image size in the frame header (its height given later is not supported)");
        } else if (!(marker == DHT || marker == DQT || marker == DRI || marker == COM || (marker >= APP0 && marker <= APP15))) {
            return QStringLiteral("unknown marker %1 at byte %2").arg(hex(marker)).arg(markerAt);
        }
    }
}
