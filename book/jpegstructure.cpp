#include "jpegstructure.h"

#include "exifreader.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// Markers (the byte after 0xFF) of ISO/IEC 10918-1, table B.1.
constexpr int SOI = 0xD8, EOI = 0xD9, SOS = 0xDA, DQT = 0xDB, DNL = 0xDC, DRI = 0xDD, DHT = 0xC4, DAC = 0xCC,
              COM = 0xFE, APP0 = 0xE0, APP1 = 0xE1, APP2 = 0xE2, APP14 = 0xEE, APP15 = 0xEF, RST0 = 0xD0, RST7 = 0xD7, TEM = 0x01;
// JFIF's density units: dots per inch, dots per centimetre.
constexpr int JfifPerInch = 1, JfifPerCentimetre = 2;

bool isFrameMarker(int m)
{
    return m >= 0xC0 && m <= 0xCF && m != DHT && m != 0xC8 && m != DAC;
}

QString hex(int marker)
{
    return QStringLiteral("0x") + QString::number(marker, 16).toUpper();
}

// Why a frame of this kind is not taken; empty when it is. Browsers show none of these.
QString frameRefusal(int marker, int precision)
{
    if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF)
        return QStringLiteral("lossless JPEG is not supported (browsers do not show it)");
    if (marker == 0xC5 || marker == 0xC6 || marker == 0xC7 || marker >= 0xCD)
        return QStringLiteral("hierarchical JPEG is not supported (browsers do not show it)");
    if (precision != 8)
        return QStringLiteral("%1-bit JPEG is not supported (browsers do not show it)").arg(precision);
    return {};
}

QString cutShort(const char *where)
{
    return QStringLiteral("the file ends %1 (cut short)").arg(QLatin1String(where));
}

// The ICC profile of APP2 chunks numbered 1..count, when every one is there once.
QByteArray wholeProfile(const std::map<int, QByteArray> &chunks, int count, bool damaged)
{
    QByteArray profile;
    if (damaged || count <= 0 || int(chunks.size()) != count || chunks.begin()->first != 1 || chunks.rbegin()->first != count)
        return profile;
    for (const auto &chunk : chunks)
        profile += chunk.second;
    return profile;
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
    ExifFacts exif;
    double jfifDpi[2] = {0, 0};
    // ICC profile chunks by their sequence number (from 1), and how many there are to be.
    std::map<int, QByteArray> iccChunks;
    int iccCount = -1;
    bool iccDamaged = false;
    qsizetype at = 2;
    for (;;) {
        // The next marker: as libjpeg looks for it, bytes that are no marker (anything up to
        // an 0xFF, and 0xFF 0x00 pairs) are stray and skipped; further 0xFF bytes are fill.
        const qsizetype strayStart = at;
        int marker = 0;
        while (marker == 0) {
            while (at < size && bytes[at] != 0xFF)
                ++at;
            while (at < size && bytes[at] == 0xFF)
                ++at;
            if (at >= size)
                return cutShort("before its end of image marker");
            marker = bytes[at++];
        }
        qsizetype markerAt = at - 2;
        while (markerAt > strayStart && bytes[markerAt - 1] == 0xFF)
            --markerAt; // fill bytes belong to the marker
        if (markerAt > strayStart)
            frame.strays.append({strayStart, markerAt - strayStart});
        markerAt = at - 2;

        if (marker == EOI) {
            if (!sawScan)
                return QStringLiteral("no image data before the end of image marker");
            frame.end = at;
            frame.iccProfile = wholeProfile(iccChunks, iccCount, iccDamaged);
            frame.orientation = std::max(1, exif.orientation);
            const bool jfifSays = jfifDpi[0] > 0 && jfifDpi[1] > 0;
            frame.dotsPerInchX = jfifSays ? jfifDpi[0] : exif.dotsPerInchX;
            frame.dotsPerInchY = jfifSays ? jfifDpi[1] : exif.dotsPerInchY;
            return {};
        }
        if (marker == TEM)
            continue;
        if (marker == SOI || (marker >= RST0 && marker <= RST7))
            return QStringLiteral("misplaced marker %1 at byte %2").arg(hex(marker)).arg(markerAt);

        // Every other marker starts a segment with its length.
        if (at + 2 > size)
            return cutShort("inside a header");
        const int length = word(at);
        if (length < 2)
            return QStringLiteral("damaged header at byte %1").arg(markerAt);
        if (at + length > size)
            return cutShort("inside a header");
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
            frame.progressive = marker == 0xC2 || marker == 0xCA;
            frame.arithmetic = marker >= 0xC9;
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
                    return cutShort("inside the image data");
                at = static_cast<const unsigned char *>(ff) - bytes;
                qsizetype next = at + 1;
                while (next < size && bytes[next] == 0xFF)
                    ++next;
                if (next >= size)
                    return cutShort("inside the image data");
                if (bytes[next] == 0x00 || (bytes[next] >= RST0 && bytes[next] <= RST7)) {
                    at = next + 1;
                    continue;
                }
                break; // a marker: the scan has ended
            }
            frame.scanBytes += at - start;
            sawScan = true;
        } else if (marker == APP0) {
            if (contentLength >= 12 && std::memcmp(bytes + segment, "JFIF\0", 5) == 0) {
                const int units = bytes[segment + 7];
                const double perInch = units == JfifPerInch ? 1.0 : units == JfifPerCentimetre ? 2.54 : 0.0;
                jfifDpi[0] = word(segment + 8) * perInch;
                jfifDpi[1] = word(segment + 10) * perInch;
            }
        } else if (marker == APP14) {
            if (contentLength >= 12 && std::memcmp(bytes + segment, "Adobe", 5) == 0) {
                frame.adobe = true;
                frame.adobeTransform = bytes[segment + 11];
            }
        } else if (marker == APP1 && !sawExif && contentLength >= 6 && std::memcmp(bytes + segment, "Exif\0\0", 6) == 0) {
            // Browsers turn the image as its first Exif segment says.
            sawExif = true;
            exif = ReadExif(bytes + segment, contentLength);
        } else if (marker == APP2 && contentLength >= 14 && std::memcmp(bytes + segment, "ICC_PROFILE\0", 12) == 0) {
            const int sequence = bytes[segment + 12], count = bytes[segment + 13];
            if (sequence < 1 || sequence > count || (iccCount >= 0 && count != iccCount) || iccChunks.count(sequence))
                iccDamaged = true;
            iccCount = count;
            iccChunks[sequence] = QByteArray(reinterpret_cast<const char *>(bytes + segment + 14), contentLength - 14);
        } else if (marker == DHT) {
            frame.huffmanTables = true;
        } else if (marker == DNL) {
            return QStringLiteral("no image size in the frame header (its height given later is not supported)");
        } else if (!(marker == DQT || marker == DRI || marker == DAC || marker == COM
                     || (marker >= APP0 && marker <= APP15))) {
            return QStringLiteral("unknown marker %1 at byte %2").arg(hex(marker)).arg(markerAt);
        }
    }
}

QByteArray JpegImageBytes(const QByteArray &data, const JpegFrame &frame)
{
    if (frame.strays.isEmpty())
        return frame.end == data.size() ? data : data.left(frame.end);
    QByteArray bytes;
    bytes.reserve(frame.end);
    qsizetype from = 0;
    for (const auto &[offset, length] : frame.strays) {
        bytes.append(data.constData() + from, offset - from);
        from = offset + length;
    }
    bytes.append(data.constData() + from, frame.end - from);
    return bytes;
}
