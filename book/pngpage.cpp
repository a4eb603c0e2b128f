#include "pagedecoders.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>

namespace {

// Deflate turns at most about 1032 bytes into one (a run of one byte value); a PNG claiming
// more raw rows than its whole file could inflate to is refused before anything is allocated.
constexpr qint64 MaxDeflateRatio = 1032;
// Headroom for the smallest images, whose headers outweigh their data.
constexpr qint64 SmallImageBytes = 65536;

// Everything the decoder changes while libpng may jump out of it lives here, outside the
// function that calls setjmp.
struct PngDecode
{
    std::jmp_buf jump;
    char message[256] = {};
    const QByteArray *data = nullptr;
    const BeforeDecoding *beforeDecoding = nullptr;
    qsizetype at = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::uint8_t *pixels = nullptr; // malloc, handed to the bitmap when all went well
    int width = 0;
    int height = 0;
    int channels = 0;
    int format = 0;
    std::size_t rowBytes = 0;
    QByteArray palette;
    QByteArray paletteAlpha;
    int grayKey = -1;

    ~PngDecode()
    {
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(pixels);
    }
};

void pngRead(png_structp png, png_bytep out, png_size_t length)
{
    auto *d = static_cast<PngDecode *>(png_get_io_ptr(png));
    if (d->at + qsizetype(length) > d->data->size())
        png_error(png, "file ends early");
    std::memcpy(out, d->data->constData() + d->at, length);
    d->at += qsizetype(length);
}

void pngError(png_structp png, png_const_charp message)
{
    auto *d = static_cast<PngDecode *>(png_get_error_ptr(png));
    if (message != d->message)
        std::snprintf(d->message, sizeof d->message, "%s", message);
    std::longjmp(d->jump, 1);
}

void pngWarning(png_structp, png_const_charp)
{
}

// Sets the message for a refusal; png_error(d.png, d.message) then ends the decoding, after
// the texts made here are gone (a jump skips destructors).
void setMessage(PngDecode &d, const QString &reason)
{
    std::snprintf(d.message, sizeof d.message, "%s", reason.toUtf8().constData());
}

// False with d.message set when the file is damaged or refused.
bool decode(PngDecode &d)
{
    if (setjmp(d.jump))
        return false;
    png_set_read_fn(d.png, &d, pngRead);
    // The size is checked below, against the page limit and the file's own size.
    png_set_user_limits(d.png, 0x7fffffff, 0x7fffffff);
    png_read_info(d.png, d.info);
    const png_uint_32 width = png_get_image_width(d.png, d.info);
    const png_uint_32 height = png_get_image_height(d.png, d.info);
    if (qint64(width) * height > MaxPagePixels) {
        setMessage(d, TooLargeReason(width, height));
        png_error(d.png, d.message);
    }
    // The inflated image data: each row as stored plus its filter byte.
    const qint64 rawBytes = qint64(height) * (qint64(png_get_rowbytes(d.png, d.info)) + 1);
    if (rawBytes > d.data->size() * MaxDeflateRatio + SmallImageBytes) {
        setMessage(d, ImplausibleSizeReason(width, height, d.data->size()));
        png_error(d.png, d.message);
    }

    // Palette indices and gray samples of 1, 2 or 4 bits stay as they are, packed: a page of
    // them takes a fraction of the memory it would widened, and goes into the PDF as it is.
    const int colourType = png_get_color_type(d.png, d.info);
    const int bitDepth = png_get_bit_depth(d.png, d.info);
    if (colourType == PNG_COLOR_TYPE_PALETTE || (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)) {
        static const int grays[] = {0, PDFE_GRAY1, PDFE_GRAY2, 0, PDFE_GRAY4};
        static const int indexed[] = {0, PDFE_INDEXED1, PDFE_INDEXED2, 0, PDFE_INDEXED4, 0, 0, 0, PDFE_INDEXED8};
        d.format = colourType == PNG_COLOR_TYPE_PALETTE ? indexed[bitDepth] : grays[bitDepth];
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_color_16p key = nullptr;
        const bool transparency = png_get_tRNS(d.png, d.info, &alpha, &alphaCount, &key) != 0;
        if (colourType == PNG_COLOR_TYPE_PALETTE) {
            png_colorp entries = nullptr;
            int count = 0;
            if (!png_get_PLTE(d.png, d.info, &entries, &count) || count < 1)
                png_error(d.png, "palette image without a palette");
            for (int i = 0; i < count; ++i) {
                const char rgb[3] = {char(entries[i].red), char(entries[i].green), char(entries[i].blue)};
                d.palette.append(rgb, 3);
            }
            if (transparency && alpha && alphaCount > 0) {
                d.paletteAlpha = QByteArray(reinterpret_cast<const char *>(alpha), std::min(alphaCount, count));
                d.paletteAlpha.append(count - d.paletteAlpha.size(), char(0xFF));
            }
        } else if (transparency && key) {
            d.grayKey = key->gray & ((1 << bitDepth) - 1);
        }
    } else {
        // Samples as stored: small gray depths widened to 8 bits, transparency as alpha,
        // 16-bit samples scaled to 8; no gamma or colour conversion.
        png_set_expand(d.png);
        png_set_scale_16(d.png);
    }
    const int passes = png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    d.channels = png_get_channels(d.png, d.info);
    if (d.format == 0) {
        static const int formats[] = {0, PDFE_GRAY8, PDFE_GRAYA8, PDFE_RGB8, PDFE_RGBA8};
        if (d.channels < 1 || d.channels > 4 || png_get_bit_depth(d.png, d.info) != 8)
            png_error(d.png, "unsupported pixel layout");
        d.format = formats[d.channels];
    } else if (d.channels != 1 || png_get_bit_depth(d.png, d.info) != bitDepth) {
        png_error(d.png, "unsupported pixel layout");
    }
    d.width = int(width);
    d.height = int(height);
    d.rowBytes = png_get_rowbytes(d.png, d.info);
    if (*d.beforeDecoding)
        (*d.beforeDecoding)(qint64(d.rowBytes) * height);
    d.pixels = static_cast<std::uint8_t *>(std::malloc(d.rowBytes * height));
    if (!d.pixels)
        png_error(d.png, "out of memory");
    // Row by row, straight into place: no table of row pointers, however tall the image.
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(d.png, d.pixels + d.rowBytes * y, nullptr);
    png_read_end(d.png, nullptr);
    return true;
}

} // namespace

std::unique_ptr<PageBitmap> DecodePngPage(const QByteArray &data, const QString &path, const BeforeDecoding &beforeDecoding)
{
    PngDecode d;
    d.data = &data;
    d.beforeDecoding = &beforeDecoding;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, pngError, pngWarning);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (!d.info)
        throw PageFileError(path, QStringLiteral("out of memory"));
    if (!decode(d))
        throw PageFileError(path, QString::fromUtf8(d.message));

    auto bitmap = std::make_unique<PageBitmap>();
    bitmap->width = d.width;
    bitmap->height = d.height;
    bitmap->format = d.format;
    bitmap->palette = d.palette;
    bitmap->paletteAlpha = d.paletteAlpha;
    bitmap->grayKey = d.grayKey;
    bitmap->bytesPerRow = int(d.rowBytes);
    bitmap->pixels.reset(d.pixels);
    d.pixels = nullptr;
    return bitmap;
}
