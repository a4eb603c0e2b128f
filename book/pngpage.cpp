#include "pagedecoders.h"

#include "gammatosrgb.h"
#include "keptsamples.h"
#include "iccprofile.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <png.h>
#include <zlib.h>

namespace {

// Deflate turns at most about 1032 bytes into one (a run of one byte value); a PNG claiming
// more raw rows than its whole file could inflate to is refused before anything is allocated.
constexpr qint64 MaxDeflateRatio = 1032;
// Headroom for the smallest images, whose headers outweigh their data.
constexpr qint64 SmallImageBytes = 65536;
// The samples a page keeps, at most, once the channels it does not use are dropped: 128 MB,
// and 48 bytes more for every byte of the file. A gray page of a hundred megapixels or a colour
// one of forty passes whatever its file; more colour than that must come with data that could
// hold it, not from a file of a few hundred kilobytes whose rows repeat: a file under 1 MB
// keeps at most 176 MB, which with the encoder's copy of them stays within 400 MB.
constexpr qint64 MinSampleBudget = 128 << 20;
constexpr qint64 SampleBytesPerFileByte = 48;
// Ancillary chunks libpng keeps in memory (a colour profile, at most): larger ones are
// refused before libpng allocates for them. Profiles of scanners and cameras are far smaller.
constexpr png_alloc_size_t MaxChunkBytes = 8u << 20;
// Ancillary chunks of the kinds libpng keeps a list of, at most.
constexpr png_uint_32 MaxCachedChunks = 128;
// The ancillary chunks read, as libpng lists them (four letters and a zero byte each); every
// other one is skipped unread, its CRC still checked.
constexpr png_byte ReadChunks[] = "gAMA\0sRGB\0iCCP\0pHYs";

constexpr unsigned char PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

std::uint32_t bigEndian32(const unsigned char *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// Everything the decoder changes while libpng may jump out of it lives here, outside the
// function that calls setjmp.
struct PngDecode
{
    std::jmp_buf jump;
    char message[256] = {};
    char profileWarning[256] = {};
    const QByteArray *data = nullptr;
    const BeforeDecoding *beforeDecoding = nullptr;
    bool keepPixels = false;        // false: the check, every row read and dropped
    qsizetype at = 0;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::uint8_t *pixels = nullptr; // malloc, handed to the bitmap when all went well (packed rows)
    std::optional<KeptSamples> samples; // 8-bit samples, the channels used kept
    std::uint8_t *scratch = nullptr;
    std::uint8_t *corrected = nullptr; // a row of scratch's samples under a gamma, in 8 bits
    int width = 0;
    int height = 0;
    int channels = 0;
    int format = 0;
    std::size_t rowBytes = 0;
    QByteArray palette;
    QByteArray paletteAlpha;
    int grayKey = -1;
    QByteArray iccProfile;
    QString profileNote;
    double fileGamma = 0;           // a gamma to apply, 0 for none
    std::optional<GammaToSrgb> gamma;
    double dotsPerInch[2] = {0, 0};

    ~PngDecode()
    {
        png_destroy_read_struct(&png, &info, nullptr);
        std::free(pixels);
        std::free(scratch);
        std::free(corrected);
    }
};

void pngRead(png_structp png, png_bytep out, png_size_t length)
{
    auto *d = static_cast<PngDecode *>(png_get_io_ptr(png));
    if (qsizetype(length) > d->data->size() - d->at)
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

// libpng leaves out a colour profile it finds damaged with a warning, which is kept to say so.
void pngWarning(png_structp png, png_const_charp message)
{
    auto *d = static_cast<PngDecode *>(png_get_error_ptr(png));
    if (std::strncmp(message, "iCCP", 4) == 0 && !d->profileWarning[0])
        std::snprintf(d->profileWarning, sizeof d->profileWarning, "%s", message);
}

// Sets the message for a refusal; png_error(d.png, d.message) then ends the decoding, after
// the texts made here are gone (a jump skips destructors).
void setMessage(PngDecode &d, const QString &reason)
{
    std::snprintf(d.message, sizeof d.message, "%s", reason.toUtf8().constData());
}

// The colours as a browser shows them: an sRGB chunk says they are sRGB already; else a whole
// colour profile for them is theirs; else a gamma alone is applied to the samples.
void readColours(PngDecode &d, int colourType)
{
    if (png_get_valid(d.png, d.info, PNG_INFO_sRGB))
        return;
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(d.png, d.info, &name, &compression, &profile, &length) && profile) {
        const int components = colourType & PNG_COLOR_MASK_COLOR ? 3 : 1;
        if (const char *fault = pdfe::IccProfileFault(profile, length, components)) {
            d.profileNote = QStringLiteral("its colour profile is left out: %1").arg(QLatin1String(fault));
        } else {
            d.iccProfile = QByteArray(reinterpret_cast<const char *>(profile), qsizetype(length));
            return;
        }
    } else if (d.profileWarning[0]) {
        d.profileNote = QStringLiteral("its colour profile is left out: %1").arg(QString::fromLatin1(d.profileWarning));
    }
    png_fixed_point fileGamma = 0;
    if (png_get_gAMA_fixed(d.png, d.info, &fileGamma) && fileGamma > 0)
        d.fileGamma = fileGamma / 100000.0;
}

void readResolution(PngDecode &d)
{
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_pHYs(d.png, d.info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER) {
        d.dotsPerInch[0] = x * 0.0254;
        d.dotsPerInch[1] = y * 0.0254;
    }
}

// Samples of the colour channels (all but alpha) of the pixels of this row that the pass
// gives, from the row libpng wrote (bits per sample: 8 or 16) into out, corrected.
void correctedPixels(const PngDecode &d, const std::uint8_t *in, std::uint8_t *out, int bits, int pass, bool interlaced)
{
    const int colour = d.channels == 2 || d.channels == 4 ? d.channels - 1 : d.channels;
    const int first = interlaced ? PNG_PASS_START_COL(pass) : 0;
    const int step = interlaced ? 1 << PNG_PASS_COL_SHIFT(pass) : 1;
    const int bytes = bits / 8;
    for (int x = first; x < d.width; x += step) {
        const std::uint8_t *p = in + std::size_t(x) * d.channels * bytes;
        std::uint8_t *o = out + std::size_t(x) * d.channels;
        for (int c = 0; c < d.channels; ++c) {
            const unsigned v = bytes == 2 ? (unsigned(p[2 * c]) << 8) | p[2 * c + 1] : p[c];
            // Alpha is scaled as libpng's png_set_scale_16 does.
            o[c] = c < colour ? (*d.gamma)[v] : bytes == 2 ? std::uint8_t((v * 255 + 32895) >> 16) : std::uint8_t(v);
        }
    }
}

// Why a page whose samples would take more than budget is refused.
QString budgetReason(const PngDecode &d, qint64 budget)
{
    return QStringLiteral("its %1 megapixels need more than the %2 MB a page file of %3 bytes is taken with")
        .arg(double(d.width) * d.height / 1e6, 0, 'f', 1)
        .arg(budget >> 20)
        .arg(d.data->size());
}

// False with d.message set when the file is damaged or refused.
bool decode(PngDecode &d)
{
    if (setjmp(d.jump))
        return false;
    png_set_read_fn(d.png, &d, pngRead);
    // The size is checked below, against the page limit and the file's own size.
    png_set_user_limits(d.png, 0x7fffffff, 0x7fffffff);
    png_set_chunk_malloc_max(d.png, MaxChunkBytes);
    png_set_chunk_cache_max(d.png, MaxCachedChunks);
    png_set_keep_unknown_chunks(d.png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
    png_set_keep_unknown_chunks(d.png, PNG_HANDLE_CHUNK_AS_DEFAULT, ReadChunks, int(sizeof ReadChunks / 5));
    // A damaged chunk of any kind is a damaged file, as it is a damaged transfer.
    png_set_crc_action(d.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
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
    const int colourType = png_get_color_type(d.png, d.info);
    const int bitDepth = png_get_bit_depth(d.png, d.info);
    readColours(d, colourType);
    readResolution(d);

    // Palette indices and gray samples of 1, 2 or 4 bits stay as they are, packed: a page of
    // them takes a fraction of the memory it would widened, and goes into the PDF as it is. A
    // gamma changes a palette's colours; it leaves 1-bit black and white as they are, and
    // gray of 2 or 4 bits it changes becomes a palette of the grays it shows.
    const bool packedGray = colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8;
    const bool grayPalette = packedGray && bitDepth > 1 && d.fileGamma > 0;
    if ((colourType == PNG_COLOR_TYPE_PALETTE || grayPalette) && d.fileGamma > 0)
        d.gamma.emplace(d.fileGamma, grayPalette ? bitDepth : 8);
    if (colourType == PNG_COLOR_TYPE_PALETTE || packedGray) {
        static const int grays[] = {0, PDFE_GRAY1, PDFE_GRAY2, 0, PDFE_GRAY4};
        static const int indexed[] = {0, PDFE_INDEXED1, PDFE_INDEXED2, 0, PDFE_INDEXED4, 0, 0, 0, PDFE_INDEXED8};
        d.format = colourType == PNG_COLOR_TYPE_PALETTE || grayPalette ? indexed[bitDepth] : grays[bitDepth];
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_color_16p key = nullptr;
        const bool transparency = png_get_tRNS(d.png, d.info, &alpha, &alphaCount, &key) != 0;
        if (grayPalette) {
            const int levels = 1 << bitDepth;
            const int clear = transparency && key ? key->gray & (levels - 1) : -1;
            for (int v = 0; v < levels; ++v) {
                d.palette.append(3, char((*d.gamma)[unsigned(v)]));
                if (clear >= 0)
                    d.paletteAlpha.append(char(v == clear ? 0 : 0xFF));
            }
        } else if (colourType == PNG_COLOR_TYPE_PALETTE) {
            png_colorp entries = nullptr;
            int count = 0;
            if (!png_get_PLTE(d.png, d.info, &entries, &count) || count < 1)
                png_error(d.png, "palette image without a palette");
            for (int i = 0; i < count; ++i) {
                const png_color &e = entries[i];
                const char rgb[3] = {char(d.gamma ? (*d.gamma)[e.red] : e.red), char(d.gamma ? (*d.gamma)[e.green] : e.green),
                                     char(d.gamma ? (*d.gamma)[e.blue] : e.blue)};
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
        // 16-bit samples scaled to 8 (or, under a gamma, read whole and corrected to 8).
        png_set_expand(d.png);
        if (d.fileGamma == 0)
            png_set_scale_16(d.png);
    }
    const int passes = png_set_interlace_handling(d.png);
    const bool interlaced = passes > 1;
    png_read_update_info(d.png, d.info);
    d.channels = png_get_channels(d.png, d.info);
    const int readBits = png_get_bit_depth(d.png, d.info);
    if (d.format == 0) {
        static const int formats[] = {0, PDFE_GRAY8, PDFE_GRAYA8, PDFE_RGB8, PDFE_RGBA8};
        if (d.channels < 1 || d.channels > 4 || (readBits != 8 && !(readBits == 16 && d.fileGamma > 0)))
            png_error(d.png, "unsupported pixel layout");
        d.format = formats[d.channels];
        if (d.fileGamma > 0)
            d.gamma.emplace(d.fileGamma, readBits);
    } else if (d.channels != 1 || readBits != bitDepth) {
        png_error(d.png, "unsupported pixel layout");
    }
    d.width = int(width);
    d.height = int(height);
    const std::size_t readRowBytes = png_get_rowbytes(d.png, d.info);
    d.scratch = static_cast<std::uint8_t *>(std::malloc(readRowBytes));
    if (!d.scratch)
        png_error(d.png, "out of memory");
    if (d.format >= PDFE_GRAY1) {
        // Packed rows straight into place: no table of row pointers, however tall the image.
        d.rowBytes = readRowBytes;
        if (d.keepPixels) {
            if (*d.beforeDecoding)
                (*d.beforeDecoding)(qint64(d.rowBytes) * height);
            d.pixels = static_cast<std::uint8_t *>(std::malloc(d.rowBytes * height));
            if (!d.pixels)
                png_error(d.png, "out of memory");
        }
        for (int pass = 0; pass < passes; ++pass)
            for (png_uint_32 y = 0; y < height; ++y)
                png_read_row(d.png, d.keepPixels ? d.pixels + d.rowBytes * y : d.scratch, nullptr);
        png_read_end(d.png, nullptr);
        return true;
    }
    // 8-bit samples, a row at a time, into a store that keeps the channels the page uses.
    const qint64 budget = MinSampleBudget + SampleBytesPerFileByte * d.data->size();
    if (d.keepPixels && *d.beforeDecoding)
        (*d.beforeDecoding)(std::min(budget, qint64(d.width) * d.height * d.channels));
    d.samples.emplace(d.width, d.height, d.channels, !d.iccProfile.isEmpty(), d.keepPixels, budget);
    if (d.gamma) {
        d.corrected = static_cast<std::uint8_t *>(std::malloc(std::size_t(d.width) * d.channels));
        if (!d.corrected)
            png_error(d.png, "out of memory");
    }
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < height; ++y) {
            // Rows an interlaced pass leaves alone come back as they were; only the pass's
            // pixels of a row it gives are taken.
            png_read_row(d.png, d.scratch, nullptr);
            if (interlaced && !PNG_ROW_IN_INTERLACE_PASS(y, pass))
                continue;
            if (d.gamma)
                correctedPixels(d, d.scratch, d.corrected, readBits, pass, interlaced);
            const int first = interlaced ? PNG_PASS_START_COL(pass) : 0, step = interlaced ? 1 << PNG_PASS_COL_SHIFT(pass) : 1;
            if (!d.samples->add(int(y), d.gamma ? d.corrected : d.scratch, first, step)) {
                setMessage(d, d.samples->tooLarge() ? budgetReason(d, budget) : QStringLiteral("out of memory"));
                png_error(d.png, d.message);
            }
        }
    }
    png_read_end(d.png, nullptr);
    return true;
}

bool validDepth(int colourType, int depth)
{
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case PNG_COLOR_TYPE_PALETTE:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case PNG_COLOR_TYPE_RGB:
    case PNG_COLOR_TYPE_GRAY_ALPHA:
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

// The IHDR chunk's content: a size within a page, a known kind of pixels.
QString headerFault(const unsigned char *ihdr, PageImageInfo &info)
{
    const std::uint32_t width = bigEndian32(ihdr), height = bigEndian32(ihdr + 4);
    const int depth = ihdr[8], colourType = ihdr[9];
    if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu || !validDepth(colourType, depth) || ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1)
        return QStringLiteral("the PNG image's header is damaged");
    if (width == 0 || height == 0)
        return QStringLiteral("its image of %1 x %2 pixels is empty").arg(width).arg(height);
    if (qint64(width) * height > MaxPagePixels)
        return TooLargeReason(width, height);
    info.width = int(width);
    info.height = int(height);
    return {};
}

// Every chunk of the file in turn, from the header to the end chunk, with its CRC; nothing is
// inflated. Empty when they are whole, else the reason.
QString chunkFault(const QByteArray &data, PageImageInfo &info)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data.constData());
    const qsizetype size = data.size();
    qsizetype at = sizeof PngSignature;
    for (bool first = true;; first = false) {
        if (size - at < 12)
            return QStringLiteral("the PNG image is cut short");
        const std::uint32_t length = bigEndian32(p + at);
        if (length > 0x7FFFFFFFu)
            return QStringLiteral("damaged chunk at byte %1").arg(at);
        if (size - at - 12 < qsizetype(length))
            return QStringLiteral("the PNG image is cut short");
        const unsigned char *type = p + at + 4;
        if (crc32(0, type, 4 + length) != bigEndian32(type + 4 + length))
            return QStringLiteral("CRC error in chunk at byte %1").arg(at);
        if (first) {
            if (std::memcmp(type, "IHDR", 4) != 0 || length != 13)
                return QStringLiteral("the PNG image does not begin with its header");
            if (const QString fault = headerFault(type + 4, info); !fault.isEmpty())
                return fault;
        }
        if (std::memcmp(type, "IEND", 4) == 0)
            return {};
        at += 12 + qsizetype(length);
    }
}

// Reads the file into d, as the check (rows dropped) or the build (pixels kept): its chunks
// whole, then its pixels decoded; false with d.message set when it cannot be read.
bool readPng(PngDecode &d, const QByteArray &data)
{
    PageImageInfo header;
    if (const QString fault = chunkFault(data, header); !fault.isEmpty()) {
        setMessage(d, fault);
        return false;
    }
    d.data = &data;
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d, pngError, pngWarning);
    d.info = d.png ? png_create_info_struct(d.png) : nullptr;
    if (!d.info) {
        std::snprintf(d.message, sizeof d.message, "out of memory");
        return false;
    }
    return decode(d);
}

} // namespace

QString CheckPngPage(const QByteArray &data, PageReading reading, PageImageInfo &info)
{
    if (reading == PageReading::Headers)
        return chunkFault(data, info);
    PngDecode d;
    static const BeforeDecoding none;
    d.beforeDecoding = &none;
    if (!readPng(d, data))
        return QString::fromUtf8(d.message);
    info.width = d.width;
    info.height = d.height;
    info.dotsPerInchX = d.dotsPerInch[0];
    info.dotsPerInchY = d.dotsPerInch[1];
    info.note = d.profileNote;
    return {};
}

std::unique_ptr<PageBitmap> DecodePngPage(const QByteArray &data, const QString &path, const BeforeDecoding &beforeDecoding)
{
    PngDecode d;
    d.beforeDecoding = &beforeDecoding;
    d.keepPixels = true;
    if (!readPng(d, data))
        throw PageFileUnreadable(path, QString::fromUtf8(d.message));

    auto bitmap = std::make_unique<PageBitmap>();
    bitmap->width = d.width;
    bitmap->height = d.height;
    bitmap->palette = d.palette;
    bitmap->paletteAlpha = d.paletteAlpha;
    bitmap->grayKey = d.grayKey;
    if (d.samples) {
        static const int formats[] = {0, PDFE_GRAY8, PDFE_GRAYA8, PDFE_RGB8, PDFE_RGBA8};
        bitmap->format = formats[d.samples->channels()];
        bitmap->bytesPerRow = d.width * d.samples->channels();
        bitmap->pixels.reset(d.samples->release());
    } else {
        bitmap->format = d.format;
        bitmap->bytesPerRow = int(d.rowBytes);
        bitmap->pixels.reset(d.pixels);
        d.pixels = nullptr;
    }
    bitmap->iccProfile = d.iccProfile;
    bitmap->note = d.profileNote;
    bitmap->dotsPerInchX = d.dotsPerInch[0];
    bitmap->dotsPerInchY = d.dotsPerInch[1];
    return bitmap;
}
