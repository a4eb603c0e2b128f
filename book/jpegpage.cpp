#include "jpegstructure.h"
#include "pagedecoders.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {

// Pixels one byte of entropy-coded data can stand for, at most. Each 8 x 8 block costs a DC
// code of at least one bit in the first scan of any JPEG, so even a blank gray page needs a
// byte per 512 pixels; colour and ordinary pages need far more.
constexpr qint64 MaxJpegPixelsPerByte = 2048;

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

struct JpegHeader
{
    JpegFailure failure{};
    jpeg_decompress_struct cinfo{};
};

// libjpeg reads the headers up to the first scan, which checks the tables as a decoder will
// use them; nothing is decoded. False with failure.message set when they are damaged.
bool readHeader(JpegHeader &h, const QByteArray &data)
{
    h.cinfo.err = jpeg_std_error(&h.failure.manager);
    h.failure.manager.error_exit = jpegError;
    h.failure.manager.emit_message = jpegMessage;
    if (setjmp(h.failure.jump)) {
        jpeg_destroy_decompress(&h.cinfo);
        return false;
    }
    jpeg_create_decompress(&h.cinfo);
    jpeg_mem_src(&h.cinfo, reinterpret_cast<const unsigned char *>(data.constData()), static_cast<unsigned long>(data.size()));
    jpeg_read_header(&h.cinfo, TRUE);
    return true;
}

} // namespace

std::unique_ptr<PageBitmap> ReadJpegPage(const QByteArray &data, const QString &path)
{
    JpegFrame frame;
    const QString reason = CheckJpegStructure(data, frame);
    if (!reason.isEmpty())
        throw PageFileError(path, reason);
    if (qint64(frame.width) * frame.height > MaxPagePixels)
        throw PageFileError(path, TooLargeReason(frame.width, frame.height));
    if (qint64(frame.width) * frame.height > frame.scanBytes * MaxJpegPixelsPerByte)
        throw PageFileError(path, ImplausibleSizeReason(frame.width, frame.height, data.size()));

    JpegHeader header;
    if (!readHeader(header, data))
        throw PageFileError(path, QString::fromLatin1(header.failure.message));
    const bool agrees = int(header.cinfo.image_width) == frame.width && int(header.cinfo.image_height) == frame.height
                        && header.cinfo.num_components == frame.components;
    jpeg_destroy_decompress(&header.cinfo);
    if (!agrees)
        throw PageFileError(path, QStringLiteral("damaged frame header"));

    auto bitmap = std::make_unique<PageBitmap>();
    bitmap->width = frame.width;
    bitmap->height = frame.height;
    bitmap->format = frame.components == 1 ? PDFE_GRAY8 : PDFE_RGB8;
    bitmap->jpeg = data;
    bitmap->jpegComponents = frame.components;
    // Adobe's applications store CMYK (and YCCK) samples inverted and say so by their marker.
    bitmap->jpegAdobeInverted = frame.components == 4 && frame.adobe;
    bitmap->orientation = frame.orientation;
    bitmap->iccProfile = frame.iccProfile;
    return bitmap;
}
