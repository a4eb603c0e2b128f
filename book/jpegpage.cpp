#include "jpegdecode.h"
#include "jpegstructure.h"
#include "jpegtranscode.h"
#include "pagedecoders.h"

#include "iccprofile.h"

namespace {

// Pixels one byte of entropy-coded data can stand for, at most. Each 8 x 8 block costs a DC
// code of at least one bit in the first scan of any JPEG, so even a blank gray page needs a
// byte per 512 pixels; colour and ordinary pages need far more.
constexpr qint64 MaxJpegPixelsPerByte = 2048;

// A JPEG as the build reads it.
struct JpegPage
{
    JpegFrame frame;
    JpegHeader header;
    QByteArray pdfBytes;   // what goes into the PDF
    QString profileNote;   // why its colour profile is left out
};

// The build's reading: the markers, the size the data can hold, libjpeg's reading of the
// headers, and an arithmetic-coded file turned into a Huffman-coded one. Empty when it reads.
QString readJpeg(const QByteArray &data, JpegPage &page)
{
    JpegFrame &frame = page.frame;
    if (const QString reason = CheckJpegStructure(data, frame); !reason.isEmpty())
        return reason;
    if (qint64(frame.width) * frame.height > frame.scanBytes * MaxJpegPixelsPerByte)
        return ImplausibleSizeReason(frame.width, frame.height, data.size());
    const QByteArray image = JpegImageBytes(data, frame);
    if (const QString reason = ReadJpegHeader(image, page.header); !reason.isEmpty())
        return reason;
    if (page.header.width != frame.width || page.header.height != frame.height || page.header.components != frame.components)
        return QStringLiteral("damaged frame header");
    // Arithmetic codes, and the tables a motion JPEG frame leaves out, are not read by every
    // PDF reader: such a file goes in with Huffman codes and tables of its own.
    if (frame.arithmetic || !frame.huffmanTables) {
        if (const QString reason = HuffmanCodedJpeg(image, page.pdfBytes); !reason.isEmpty())
            return reason;
    } else {
        page.pdfBytes = image;
    }
    if (!frame.iccProfile.isEmpty()) {
        const auto *profile = reinterpret_cast<const std::uint8_t *>(frame.iccProfile.constData());
        if (const char *fault = pdfe::IccProfileFault(profile, std::size_t(frame.iccProfile.size()), frame.components)) {
            page.profileNote = QStringLiteral("its colour profile is left out: %1").arg(QLatin1String(fault));
            frame.iccProfile.clear();
        }
    }
    return {};
}

} // namespace

QString CheckJpegPage(const QByteArray &data, PageReading reading, PageImageInfo &info)
{
    JpegPage page;
    if (const QString reason = readJpeg(data, page); !reason.isEmpty())
        return reason;
    const JpegFrame &frame = page.frame;
    // Decoded whole as a reader will, unless the picture is larger than a page decoded at
    // once may be: then its structure and headers are all that is read.
    if (reading == PageReading::Whole && qint64(frame.width) * frame.height <= MaxPagePixels) {
        bool tooLarge = false;
        const QString reason = JpegDecodeFault(page.pdfBytes, &tooLarge);
        if (!reason.isEmpty() && !tooLarge)
            return reason;
    }
    info.width = frame.width;
    info.height = frame.height;
    info.orientation = frame.orientation;
    info.dotsPerInchX = frame.dotsPerInchX;
    info.dotsPerInchY = frame.dotsPerInchY;
    info.note = page.profileNote;
    return {};
}

std::unique_ptr<PageBitmap> ReadJpegPage(const QByteArray &data, const QString &path)
{
    JpegPage page;
    if (const QString reason = readJpeg(data, page); !reason.isEmpty())
        throw PageFileUnreadable(path, reason);
    const JpegFrame &frame = page.frame;
    auto bitmap = std::make_unique<PageBitmap>();
    bitmap->width = frame.width;
    bitmap->height = frame.height;
    bitmap->format = frame.components == 1 ? PDFE_GRAY8 : PDFE_RGB8;
    bitmap->jpeg = page.pdfBytes;
    bitmap->jpegComponents = frame.components;
    // Adobe's applications store CMYK (and YCCK) samples inverted and say so by their marker.
    bitmap->jpegAdobeInverted = frame.components == 4 && frame.adobe;
    bitmap->jpegStoredRgb = page.header.storedRgb;
    bitmap->orientation = frame.orientation;
    bitmap->iccProfile = frame.iccProfile;
    bitmap->note = page.profileNote;
    bitmap->dotsPerInchX = frame.dotsPerInchX;
    bitmap->dotsPerInchY = frame.dotsPerInchY;
    return bitmap;
}
