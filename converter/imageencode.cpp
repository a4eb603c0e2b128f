#include "imageencode.h"

#include "faxg4.h"
#include "flateimage.h"
#include "planerows.h"

#include <stdexcept>
#include <string>

namespace pdfe {

namespace {

int channelsOf(int format)
{
    switch (format) {
    case PDFE_GRAY8: return 1;
    case PDFE_GRAYA8: return 2;
    case PDFE_RGB8: return 3;
    case PDFE_RGBA8: return 4;
    default: return 0;
    }
}

// What the pixels need: the checks stop looking once they fail, so on a colour page only
// the alpha channel is read through.
struct Content
{
    bool opaque = true;
    bool gray = true;
    bool blackWhite = true;
};

Content scan(const PDFE_Bitmap &bitmap, int channels)
{
    const bool hasAlpha = channels == 2 || channels == 4;
    const bool colour = channels >= 3;
    Content content;
    const std::size_t w = std::size_t(bitmap.width);
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t *p = bitmap.pixels + std::size_t(bitmap.bytesPerRow) * std::size_t(y);
        // Branch-free reductions over a row, which the compiler vectorises.
        std::uint8_t alpha = 0xFF, notGray = 0, notBilevel = 0;
        if (hasAlpha && content.opaque) {
            for (std::size_t x = 0; x < w; ++x)
                alpha &= p[x * channels + channels - 1];
            content.opaque = alpha == 0xFF;
        }
        if (colour && content.gray) {
            for (std::size_t x = 0; x < w; ++x)
                notGray |= std::uint8_t((p[x * channels] ^ p[x * channels + 1]) | (p[x * channels + 1] ^ p[x * channels + 2]));
            content.gray = notGray == 0;
        }
        if (content.gray && content.blackWhite) {
            // 0 and 255 become 1 and 0; any other value has a bit above the lowest.
            for (std::size_t x = 0; x < w; ++x)
                notBilevel |= std::uint8_t(p[x * channels] + 1) & 0xFE;
            content.blackWhite = notBilevel == 0;
        }
        if (!content.gray && !(hasAlpha && content.opaque))
            break;
    }
    content.blackWhite = content.blackWhite && content.gray;
    return content;
}

// A page of only black and white: Group 4 fax coding, which on text is about a third of
// Flate's size; Flate where it does better (halftone patterns, tiny images).
EncodedImage encodeBilevel(const PDFE_Bitmap &bitmap, int channels)
{
    const PlaneRows black(bitmap, channels, PlaneRows::Black1);
    const std::size_t rowBytes = black.rowBytes();
    std::vector<std::uint8_t> packed(rowBytes * std::size_t(bitmap.height));
    for (int y = 0; y < bitmap.height; ++y)
        black.row(y, packed.data() + rowBytes * std::size_t(y));
    std::vector<std::uint8_t> fax = EncodeFaxG4(packed.data(), rowBytes, bitmap.width, bitmap.height);
    std::vector<std::uint8_t>().swap(packed);

    EncodedImage flate = EncodeFlate(PlaneRows(bitmap, channels, PlaneRows::White1));
    if (flate.data.size() <= fax.size())
        return flate;
    EncodedImage image;
    const std::string w = std::to_string(bitmap.width), h = std::to_string(bitmap.height);
    // The decoder's output has 0 for black (BlackIs1 false), as DeviceGray reads 1 bit.
    image.dictionary = "/Type/XObject/Subtype/Image/Width " + w + "/Height " + h
                       + "/ColorSpace/DeviceGray/BitsPerComponent 1/Filter/CCITTFaxDecode/DecodeParms<</K -1/Columns " + w
                       + "/Rows " + h + "/BlackIs1 false>>";
    image.data = std::move(fax);
    return image;
}

EncodedImage encodeJpeg(const PDFE_Bitmap &bitmap)
{
    if (bitmap.jpegSize > MaxJpegBytes)
        throw std::runtime_error("JPEG file too large");
    const char *space = nullptr;
    switch (bitmap.jpegComponents) {
    case 1: space = "/DeviceGray"; break;
    case 3: space = "/DeviceRGB"; break;
    case 4: space = "/DeviceCMYK"; break; // CMYK or YCCK: the reader's DCT decoder gives CMYK
    default: throw std::runtime_error("unsupported JPEG colour components");
    }
    EncodedImage image;
    image.dictionary = "/Type/XObject/Subtype/Image/Width " + std::to_string(bitmap.width) + "/Height "
                       + std::to_string(bitmap.height) + "/ColorSpace" + space + "/BitsPerComponent 8/Filter/DCTDecode";
    // Adobe's programs store CMYK samples inverted (0 for full ink) and mark the file with
    // their APP14 segment; PDF readers take DCT samples as they are, so the image says so.
    if (bitmap.jpegComponents == 4 && bitmap.jpegAdobeInverted)
        image.dictionary += "/Decode[1 0 1 0 1 0 1 0]";
    image.data.assign(bitmap.jpeg, bitmap.jpeg + bitmap.jpegSize);
    return image;
}

} // namespace

EncodedImage EncodeBitmap(const PDFE_Bitmap &bitmap)
{
    if (bitmap.width <= 0 || bitmap.height <= 0)
        throw std::runtime_error("bitmap without pixels");
    if (std::int64_t(bitmap.width) * bitmap.height > MaxBitmapPixels)
        throw std::runtime_error("bitmap too large: " + std::to_string(bitmap.width) + " x " + std::to_string(bitmap.height)
                                 + " pixels, at most " + std::to_string(MaxBitmapPixels) + " are taken");
    if (bitmap.jpeg && bitmap.jpegSize > 0)
        return encodeJpeg(bitmap);
    const int channels = channelsOf(bitmap.format);
    if (channels == 0 || !bitmap.pixels)
        throw std::runtime_error("unknown bitmap format");
    // Rows may be padded or lie in a wider bitmap, but the rows read must span no more
    // memory than the largest bitmap has.
    const std::int64_t minRow = std::int64_t(bitmap.width) * channels;
    if (bitmap.bytesPerRow < minRow
        || std::int64_t(bitmap.bytesPerRow) * (bitmap.height - 1) + minRow > MaxBitmapPixels * 4)
        throw std::runtime_error("bitmap rows of " + std::to_string(bitmap.bytesPerRow) + " bytes do not fit its size");

    const Content content = scan(bitmap, channels);
    EncodedImage image;
    if (content.blackWhite)
        image = encodeBilevel(bitmap, channels);
    else
        image = EncodeFlate(PlaneRows(bitmap, channels, content.gray ? PlaneRows::Gray : PlaneRows::Rgb));
    if ((channels == 2 || channels == 4) && !content.opaque)
        image.softMask = std::make_unique<EncodedImage>(EncodeFlate(PlaneRows(bitmap, channels, PlaneRows::Alpha)));
    return image;
}

} // namespace pdfe
