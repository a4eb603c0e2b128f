#include "jpegdecode.h"

#include "jpegsession.h"

#include <cstdlib>
#include <cstring>

namespace {

// Everything a decoding changes while libjpeg may jump out of it: plain data, freed by
// finish() whichever way the decoding ends.
struct Decoding
{
    JpegSession session;
    // What is asked for: a gray picture at most this large (0: the pixels are dropped).
    qint64 keepGrayPixels = 0;
    unsigned char *row = nullptr;     // one output row (malloc)
    unsigned char *gray = nullptr;    // the kept gray picture (malloc), handed over on success
    int width = 0;
    int height = 0;

    void finish()
    {
        session.end();
        std::free(row);
        row = nullptr;
    }
};

// Gray of a CMYK row: ink darkens the paper; Adobe's files store the samples inverted.
void cmykToGray(const unsigned char *cmyk, unsigned char *gray, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, cmyk += 4) {
        int c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (inverted)
            c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        const int ink = (77 * c + 150 * m + 29 * y) >> 8;
        gray[x] = static_cast<unsigned char>((255 - ink) * (255 - k) / 255);
    }
}

// Decodes with libjpeg; false with the session's message when it fails.
bool decode(Decoding &d, const QByteArray &data)
{
    if (setjmp(d.session.jump)) {
        d.finish();
        return false;
    }
    d.session.begin(data);
    jpeg_decompress_struct &cinfo = d.session.cinfo;
    jpeg_read_header(&cinfo, TRUE);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    if (d.keepGrayPixels > 0) {
        cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_GRAYSCALE;
        // libjpeg scales by 1/2, 1/4 or 1/8 at little cost: the largest that fits.
        cinfo.scale_num = 1;
        cinfo.scale_denom = 1;
        while (cinfo.scale_denom < 8
               && qint64((cinfo.image_width + cinfo.scale_denom - 1) / cinfo.scale_denom)
                          * ((cinfo.image_height + cinfo.scale_denom - 1) / cinfo.scale_denom)
                      > d.keepGrayPixels)
            cinfo.scale_denom *= 2;
    }
    jpeg_start_decompress(&cinfo);
    d.width = int(cinfo.output_width);
    d.height = int(cinfo.output_height);
    if (d.keepGrayPixels > 0 && qint64(d.width) * d.height > d.keepGrayPixels) {
        std::snprintf(d.session.message, sizeof d.session.message, "%d x %d pixels even at an eighth of its size", d.width, d.height);
        d.finish();
        return false;
    }
    d.row = static_cast<unsigned char *>(std::malloc(std::size_t(cinfo.output_width) * cinfo.output_components));
    if (d.keepGrayPixels > 0)
        d.gray = static_cast<unsigned char *>(std::malloc(std::size_t(d.width) * std::size_t(d.height)));
    if (!d.row || (d.keepGrayPixels > 0 && !d.gray))
        ERREXIT1(&cinfo, JERR_OUT_OF_MEMORY, 0);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = int(cinfo.output_scanline);
        JSAMPROW rows[1] = {d.row};
        jpeg_read_scanlines(&cinfo, rows, 1);
        if (!d.gray)
            continue;
        unsigned char *out = d.gray + std::size_t(y) * std::size_t(d.width);
        if (cmyk)
            cmykToGray(d.row, out, d.width, cinfo.saw_Adobe_marker);
        else
            std::memcpy(out, d.row, std::size_t(d.width));
    }
    jpeg_finish_decompress(&cinfo);
    d.finish();
    return true;
}

// The session is the caller's, as what libjpeg changes in it is read after a jump out.
bool readHeader(JpegSession &s, const QByteArray &data, JpegHeader &header)
{
    if (setjmp(s.jump)) {
        s.end();
        return false;
    }
    s.begin(data);
    jpeg_read_header(&s.cinfo, TRUE);
    header.width = int(s.cinfo.image_width);
    header.height = int(s.cinfo.image_height);
    header.components = s.cinfo.num_components;
    header.storedRgb = s.cinfo.num_components == 3 && s.cinfo.jpeg_color_space == JCS_RGB;
    s.end();
    return true;
}

} // namespace

QString ReadJpegHeader(const QByteArray &data, JpegHeader &header)
{
    JpegSession s;
    return readHeader(s, data, header) ? QString() : QString::fromLatin1(s.message);
}

QString JpegDecodeFault(const QByteArray &data, bool *tooLarge)
{
    Decoding d;
    const bool decoded = decode(d, data);
    if (tooLarge)
        *tooLarge = d.session.tooLarge;
    return decoded ? QString() : QString::fromLatin1(d.session.message);
}

QImage DecodeJpegGray(const QByteArray &data, qint64 maxPixels, QString *reason)
{
    Decoding d;
    d.keepGrayPixels = std::max<qint64>(1, maxPixels);
    if (!decode(d, data)) {
        std::free(d.gray);
        if (reason)
            *reason = QString::fromLatin1(d.session.message);
        return {};
    }
    return QImage(d.gray, d.width, d.height, d.width, QImage::Format_Grayscale8, [](void *p) { std::free(p); }, d.gray);
}
