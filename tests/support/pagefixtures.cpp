#include "pagefixtures.h"

#include <QBuffer>
#include <QImageWriter>

#include <cstdlib>
#include <vector>
#include <zlib.h>

namespace PageFixtures {

namespace {

QByteArray bigEndian32(quint32 v)
{
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return QByteArray(b, 4);
}

} // namespace

QByteArray libjpegWritten(int width, int height, int components, J_COLOR_SPACE input,
                          const std::function<void(jpeg_compress_struct &)> &prepare,
                          const std::function<void(int y, JSAMPLE *row)> &fill)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = input;
    jpeg_set_defaults(&cinfo);
    prepare(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(std::size_t(width) * std::size_t(components));
    while (cinfo.next_scanline < cinfo.image_height) {
        fill(int(cinfo.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char *>(buffer), qsizetype(size));
    std::free(buffer);
    return bytes;
}

QByteArray encoded(const QImage &image, const char *format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

QByteArray qtJpeg(const QImage &image, bool progressive, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPG");
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    writer.write(image.convertToFormat(QImage::Format_RGB32));
    return bytes;
}

QByteArray libjpegFile(int width, int height, J_COLOR_SPACE stored, bool arithmetic, bool jfif)
{
    const bool cmyk = stored == JCS_CMYK || stored == JCS_YCCK;
    const int components = cmyk ? 4 : 3;
    return libjpegWritten(
        width, height, components, cmyk ? JCS_CMYK : JCS_RGB,
        [&](jpeg_compress_struct &cinfo) {
            jpeg_set_colorspace(&cinfo, stored);
            cinfo.write_JFIF_header = jfif ? TRUE : FALSE;
            cinfo.arith_code = arithmetic ? TRUE : FALSE;
        },
        [&](int y, JSAMPLE *row) {
            for (int x = 0; x < width; ++x)
                for (int c = 0; c < components; ++c)
                    row[x * components + c] = JSAMPLE((x * 7 + y * 3 + c * 60) & 0xFF);
        });
}

QByteArray blankGrayJpeg(int width, int height)
{
    return libjpegWritten(
        width, height, 1, JCS_GRAYSCALE, [](jpeg_compress_struct &cinfo) { cinfo.optimize_coding = TRUE; },
        [&](int, JSAMPLE *row) { std::fill(row, row + width, JSAMPLE(235)); });
}

qsizetype jpegSegment(const QByteArray &jpeg, uchar marker)
{
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF && uchar(jpeg[at + 1]) != 0xDA) {
        if (uchar(jpeg[at + 1]) == marker)
            return at;
        at += 2 + ((uchar(jpeg[at + 2]) << 8) | uchar(jpeg[at + 3]));
    }
    return at + 1 < jpeg.size() && uchar(jpeg[at + 1]) == marker ? at : -1;
}

QByteArray withoutSegments(const QByteArray &jpeg, uchar marker)
{
    QByteArray bytes = jpeg;
    for (qsizetype at = jpegSegment(bytes, marker); at >= 0; at = jpegSegment(bytes, marker))
        bytes.remove(at, 2 + ((uchar(bytes[at + 2]) << 8) | uchar(bytes[at + 3])));
    return bytes;
}

QByteArray jpegSegmentBytes(uchar marker, const QByteArray &content)
{
    const int length = int(content.size()) + 2;
    return QByteArray(1, char(0xFF)) + char(marker) + char(length >> 8) + char(length & 0xFF) + content;
}

QByteArray withSegmentsFirst(const QByteArray &jpeg, const QByteArray &segments)
{
    return jpeg.left(2) + segments + jpeg.mid(2);
}

QByteArray exifSegment(int orientation, bool inThumbnailDirectory)
{
    // Entries: tag, type (3: SHORT), count 1, the value in the first two bytes of four.
    const QByteArray orientationEntry = QByteArray("\x01\x12\0\x03\0\0\0\x01", 8) + char(0) + char(orientation) + QByteArray(2, '\0');
    const QByteArray otherEntry = QByteArray("\x01\x03\0\x03\0\0\0\x01\0\x06\0\0", 12); // Compression: JPEG
    QByteArray tiff("MM\0\x2A\0\0\0\x08", 8);
    if (!inThumbnailDirectory) {
        tiff += QByteArray("\0\x01", 2) + orientationEntry + QByteArray(4, '\0');
    } else {
        // The first directory without it, then the thumbnail's with it.
        tiff += QByteArray("\0\x01", 2) + otherEntry + bigEndian32(8 + 2 + 12 + 4);
        tiff += QByteArray("\0\x01", 2) + orientationEntry + QByteArray(4, '\0');
    }
    return jpegSegmentBytes(0xE1, QByteArray("Exif\0\0", 6) + tiff);
}

QByteArray withIccProfile(const QByteArray &jpeg, const QByteArray &profile, int chunk)
{
    QByteArray segments;
    const int count = int((profile.size() + chunk - 1) / chunk);
    for (int i = 0; i < count; ++i)
        segments += jpegSegmentBytes(0xE2, QByteArray("ICC_PROFILE\0", 12) + char(i + 1) + char(count)
                                               + profile.mid(qsizetype(i) * chunk, chunk));
    return withSegmentsFirst(jpeg, segments);
}

void putWord(QByteArray &bytes, qsizetype at, int value)
{
    bytes[at] = char(value >> 8);
    bytes[at + 1] = char(value & 0xFF);
}

QByteArray pngChunk(const char *type, const QByteArray &content)
{
    const QByteArray body = QByteArray(type) + content;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef *>(body.constData()), uInt(body.size()));
    return bigEndian32(quint32(content.size())) + body + bigEndian32(quint32(crc));
}

QByteArray claimingPng(quint32 width, quint32 height, int colourType)
{
    QByteArray header = bigEndian32(width) + bigEndian32(height) + QByteArray(5, '\0');
    header[8] = 8;
    header[9] = char(colourType);
    const QByteArray data = qCompress(QByteArray(4096, '\0'), 9).mid(4); // zlib stream
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header)
           + pngChunk("tEXt", QByteArray("Comment\0", 8) + QByteArray(100, 'x')) + pngChunk("IDAT", data)
           + pngChunk("IEND", {});
}

QByteArray repeatingPng(quint32 width, quint32 height, int colourType, const QByteArray &pixel)
{
    QByteArray header = bigEndian32(width) + bigEndian32(height) + QByteArray(5, '\0');
    header[8] = 8;
    header[9] = char(colourType);
    z_stream stream{};
    deflateInit(&stream, 9);
    QByteArray data;
    const QByteArray first = QByteArray(1, '\0') + pixel.repeated(width);
    const QByteArray up = QByteArray(1, '\2') + QByteArray(first.size() - 1, '\0');
    for (quint32 y = 0; y < height; ++y) {
        const QByteArray &row = y == 0 ? first : up;
        stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(row.constData()));
        stream.avail_in = uInt(row.size());
        const int flush = y + 1 == height ? Z_FINISH : Z_NO_FLUSH;
        do {
            char out[65536];
            stream.next_out = reinterpret_cast<Bytef *>(out);
            stream.avail_out = sizeof out;
            deflate(&stream, flush);
            data.append(out, qsizetype(sizeof out - stream.avail_out));
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", data) + pngChunk("IEND", {});
}

} // namespace PageFixtures
