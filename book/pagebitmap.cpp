#include "pagebitmap.h"

#include "apperror.h"

#include <QFile>

#include <csetjmp>
#include <cstring>
#include <cstdio>
#include <jpeglib.h>
#include <png.h>

namespace {

// Smaller files cannot hold a page image (an empty or broken capture).
constexpr qsizetype MinPageFileSize = 200;
// The largest page decoded, in pixels: checked before anything is allocated.
constexpr qint64 MaxPagePixels = 400'000'000;

AppError damaged(const QString &path, const QString &reason)
{
    return AppError(QStringLiteral("Page file \"%1\" cannot be read: %2").arg(path, reason));
}

struct PngSource
{
    const QByteArray *data;
    qsizetype at;
};

struct PngFailure
{
    std::jmp_buf jump;
    char message[256];
};

void pngRead(png_structp png, png_bytep out, png_size_t length)
{
    auto *source = static_cast<PngSource *>(png_get_io_ptr(png));
    if (source->at + qsizetype(length) > source->data->size())
        png_error(png, "file ends early");
    std::memcpy(out, source->data->constData() + source->at, length);
    source->at += qsizetype(length);
}

void pngError(png_structp png, png_const_charp message)
{
    auto *failure = static_cast<PngFailure *>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    std::longjmp(failure->jump, 1);
}

void pngWarning(png_structp, png_const_charp)
{
}

std::unique_ptr<PageBitmap> decodePng(const QByteArray &data, const QString &path)
{
    PngFailure failure{};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw damaged(path, QStringLiteral("out of memory"));
    }
    auto bitmap = std::make_unique<PageBitmap>();
    std::vector<png_bytep> rows;
    if (setjmp(failure.jump)) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw damaged(path, QString::fromLatin1(failure.message));
    }
    PngSource source{&data, 0};
    png_set_read_fn(png, &source, pngRead);
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (qint64(width) * height > MaxPagePixels)
        png_error(png, "image too large");

    // Samples as stored: palettes and small gray depths widened to 8 bits, transparency as
    // alpha, 16-bit samples scaled to 8; no gamma or colour conversion.
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    static const int formats[] = {0, PDFE_GRAY8, PDFE_GRAYA8, PDFE_RGB8, PDFE_RGBA8};
    if (channels < 1 || channels > 4 || png_get_bit_depth(png, info) != 8)
        png_error(png, "unsupported pixel layout");
    bitmap->width = int(width);
    bitmap->height = int(height);
    bitmap->format = formats[channels];
    bitmap->bytesPerRow = int(png_get_rowbytes(png, info));
    bitmap->pixels.resize(std::size_t(bitmap->bytesPerRow) * height);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = bitmap->pixels.data() + std::size_t(bitmap->bytesPerRow) * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return bitmap;
}

struct JpegFailure
{
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void jpegError(j_common_ptr cinfo)
{
    auto *failure = reinterpret_cast<JpegFailure *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, failure->message);
    std::longjmp(failure->jump, 1);
}

void jpegMessage(j_common_ptr, int)
{
}

std::unique_ptr<PageBitmap> decodeJpeg(const QByteArray &data, const QString &path)
{
    jpeg_decompress_struct cinfo{};
    JpegFailure failure{};
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = jpegError;
    failure.manager.emit_message = jpegMessage;
    auto bitmap = std::make_unique<PageBitmap>();
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&cinfo);
        throw damaged(path, QString::fromLatin1(failure.message));
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (qint64(cinfo.image_width) * cinfo.image_height > MaxPagePixels) {
        jpeg_destroy_decompress(&cinfo);
        throw damaged(path, QStringLiteral("image too large"));
    }
    const int components = cinfo.num_components;
    cinfo.out_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    bitmap->width = int(cinfo.output_width);
    bitmap->height = int(cinfo.output_height);
    bitmap->format = cinfo.output_components == 1 ? PDFE_GRAY8 : PDFE_RGB8;
    bitmap->bytesPerRow = int(cinfo.output_width) * cinfo.output_components;
    bitmap->pixels.resize(std::size_t(bitmap->bytesPerRow) * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = bitmap->pixels.data() + std::size_t(bitmap->bytesPerRow) * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (components == 1 || components == 3) {
        // The file itself goes into the PDF; the decoded pixels only proved it whole.
        bitmap->jpeg = data;
        bitmap->jpegComponents = components;
        bitmap->pixels.clear();
        bitmap->pixels.shrink_to_fit();
    }
    return bitmap;
}

} // namespace

PDFE_Bitmap PageBitmap::handle() const
{
    PDFE_Bitmap h{};
    h.width = width;
    h.height = height;
    h.bytesPerRow = bytesPerRow;
    h.format = format;
    h.pixels = pixels.empty() ? nullptr : pixels.data();
    h.jpeg = jpeg.isEmpty() ? nullptr : reinterpret_cast<const std::uint8_t *>(jpeg.constData());
    h.jpegSize = std::size_t(jpeg.size());
    h.jpegComponents = jpegComponents;
    return h;
}

std::unique_ptr<PageBitmap> LoadPageBitmap(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (data.size() < MinPageFileSize)
        return nullptr;
    QByteArray head = data.left(11);
    head.replace('\0', ' ');
    if (head.contains("PNG"))
        return decodePng(data, path);
    if (head.contains("JFIF"))
        return decodeJpeg(data, path);
    return nullptr;
}
