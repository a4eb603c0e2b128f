#include "imageencode.h"

#include "faxg4.h"
#include "iccprofile.h"
#include "flateimage.h"
#include "planerows.h"

#include <cstring>
#include <nettle/sha2.h>
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

// The fax-coded image, or the Flate one where that is smaller.
EncodedImage smallerBilevel(int width, int height, std::vector<std::uint8_t> fax, EncodedImage flate)
{
    if (flate.data.size() <= fax.size())
        return flate;
    EncodedImage image;
    const std::string w = std::to_string(width), h = std::to_string(height);
    // The decoder's output has 0 for black (BlackIs1 false), as DeviceGray reads 1 bit.
    image.dictionary = "/Type/XObject/Subtype/Image/Width " + w + "/Height " + h
                       + "/BitsPerComponent 1/Filter/CCITTFaxDecode/DecodeParms<</K -1/Columns " + w
                       + "/Rows " + h + "/BlackIs1 false>>";
    image.data = std::move(fax);
    return image;
}

std::vector<std::uint8_t> faxOf(const PlaneRows &black)
{
    const std::size_t rowBytes = black.rowBytes();
    std::vector<std::uint8_t> packed(rowBytes * std::size_t(black.height()));
    for (int y = 0; y < black.height(); ++y)
        black.row(y, packed.data() + rowBytes * std::size_t(y));
    return EncodeFaxG4(packed.data(), rowBytes, black.width(), black.height());
}

// A page of only black and white: Group 4 fax coding, which on text is about a third of
// Flate's size; Flate where it does better (halftone patterns, tiny images).
EncodedImage encodeBilevel(const PDFE_Bitmap &bitmap, int channels)
{
    std::vector<std::uint8_t> fax = faxOf(PlaneRows(bitmap, channels, PlaneRows::Black1));
    return smallerBilevel(bitmap.width, bitmap.height, std::move(fax), EncodeFlate(PlaneRows(bitmap, channels, PlaneRows::White1)));
}

// The same for packed 1-bit samples, whose 1 is white (oneIsWhite) or black.
EncodedImage encodePackedBilevel(const PDFE_Bitmap &bitmap, bool oneIsWhite)
{
    std::vector<std::uint8_t> fax = faxOf(PlaneRows(bitmap, 1, oneIsWhite ? PlaneRows::PackedInverted : PlaneRows::Packed));
    EncodedImage flate = EncodeFlate(PlaneRows(bitmap, 1, PlaneRows::Packed));
    if (!oneIsWhite)
        flate.dictionary += "/Decode[1 0]";
    return smallerBilevel(bitmap.width, bitmap.height, std::move(fax), std::move(flate));
}

// A palette as an indexed image's colour space takes it after its base. Every index the
// samples can hold has an entry: those past the palette's end are black.
std::string paletteEntries(const PDFE_Bitmap &bitmap, int entries)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string space(1, ' ');
    space += std::to_string(entries - 1) + "<";
    for (int i = 0; i < entries * 3; ++i) {
        const std::uint8_t v = i < bitmap.paletteCount * 3 ? bitmap.palette[i] : 0;
        space += hex[v >> 4];
        space += hex[v & 0xF];
    }
    return space + ">";
}

// Palette indices and small gray depths as they are, at their own depth; transparency as a
// colour key where the transparent samples make one range, else as a soft mask. keepColour:
// a palette stays one (its profile is an RGB one), even of black and white alone.
EncodedImage encodePacked(const PDFE_Bitmap &bitmap, int bits, bool keepColour)
{
    const int entries = 1 << bits;
    if (bitmap.format < PDFE_INDEXED1) {
        if (bits == 1 && !bitmap.grayKeyed)
            return encodePackedBilevel(bitmap, true);
        EncodedImage image = EncodeFlate(PlaneRows(bitmap, 1, PlaneRows::Packed));
        if (bitmap.grayKeyed && bitmap.grayKey >= 0 && bitmap.grayKey < entries)
            image.dictionary += "/Mask[" + std::to_string(bitmap.grayKey) + " " + std::to_string(bitmap.grayKey) + "]";
        return image;
    }

    if (!bitmap.palette || bitmap.paletteCount < 1 || bitmap.paletteCount > 256)
        throw std::runtime_error("indexed bitmap without a palette");
    std::uint8_t alpha[256];
    std::memset(alpha, 0xFF, sizeof alpha);
    if (bitmap.paletteAlpha)
        std::memcpy(alpha, bitmap.paletteAlpha, std::size_t(bitmap.paletteCount));
    bool opaque = true, binary = true;
    int firstClear = -1, lastClear = -1, clearCount = 0;
    for (int i = 0; i < entries; ++i) {
        opaque = opaque && alpha[i] == 0xFF;
        binary = binary && (alpha[i] == 0 || alpha[i] == 0xFF);
        if (alpha[i] == 0) {
            if (firstClear < 0)
                firstClear = i;
            lastClear = i;
            ++clearCount;
        }
    }

    auto colourAt = [&](int i) {
        if (i >= bitmap.paletteCount)
            return 0u;
        const std::uint8_t *c = bitmap.palette + 3 * i;
        return (std::uint32_t(c[0]) << 16) | (std::uint32_t(c[1]) << 8) | c[2];
    };
    // Two entries of black and white: a bilevel page, fax-coded where that is smaller.
    if (bits == 1 && opaque && !keepColour) {
        if (colourAt(0) == 0 && colourAt(1) == 0xFFFFFF)
            return encodePackedBilevel(bitmap, true);
        if (colourAt(0) == 0xFFFFFF && colourAt(1) == 0)
            return encodePackedBilevel(bitmap, false);
    }

    EncodedImage image = EncodeFlate(PlaneRows(bitmap, 1, PlaneRows::Packed));
    image.colourSpace = "/DeviceRGB";
    image.palette = paletteEntries(bitmap, entries);
    if (opaque)
        return image;
    if (binary && lastClear - firstClear + 1 == clearCount) {
        image.dictionary += "/Mask[" + std::to_string(firstClear) + " " + std::to_string(lastClear) + "]";
        return image;
    }
    image.softMask = std::make_unique<EncodedImage>(
        EncodeFlate(PlaneRows(bitmap, 1, binary ? PlaneRows::IndexAlpha1 : PlaneRows::IndexAlpha8, alpha)));
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
                       + std::to_string(bitmap.height) + "/BitsPerComponent 8/Filter/DCTDecode";
    image.colourSpace = space;
    // Without being told, some readers take three components for YCbCr whatever they are.
    if (bitmap.jpegComponents == 3 && bitmap.jpegStoredRgb)
        image.dictionary += "/DecodeParms<</ColorTransform 0>>";
    // Adobe's programs store CMYK samples inverted (0 for full ink) and mark the file with
    // their APP14 segment; PDF readers take DCT samples as they are, so the image says so.
    if (bitmap.jpegComponents == 4 && bitmap.jpegAdobeInverted)
        image.dictionary += "/Decode[1 0 1 0 1 0 1 0]";
    image.data.assign(bitmap.jpeg, bitmap.jpeg + bitmap.jpegSize);
    return image;
}

bool isJpeg(const PDFE_Bitmap &bitmap)
{
    return bitmap.jpeg && bitmap.jpegSize > 0;
}

// Samples a colour of the bitmap has, as a profile for it must describe: a JPEG's components,
// a palette's RGB, the gray of packed gray, the 8-bit formats' gray or RGB.
int colourComponents(const PDFE_Bitmap &bitmap)
{
    if (isJpeg(bitmap))
        return bitmap.jpegComponents;
    if (bitmap.format >= PDFE_INDEXED1 && bitmap.format <= PDFE_INDEXED8)
        return 3;
    return channelsOf(bitmap.format) >= 3 ? 3 : 1;
}

// keepColour: RGB samples stay RGB even when they are all gray (their profile is an RGB one).
EncodedImage encode(const PDFE_Bitmap &bitmap, bool keepColour)
{
    if (bitmap.width <= 0 || bitmap.height <= 0)
        throw std::runtime_error("bitmap without pixels");
    // A JPEG goes in as it is, whatever its size: it is never decoded here.
    if (isJpeg(bitmap))
        return encodeJpeg(bitmap);
    if (std::int64_t(bitmap.width) * bitmap.height > MaxBitmapPixels)
        throw std::runtime_error("bitmap too large: " + std::to_string(bitmap.width) + " x " + std::to_string(bitmap.height)
                                 + " pixels, at most " + std::to_string(MaxBitmapPixels) + " are taken");
    if (const int bits = PackedBits(bitmap.format)) {
        const std::int64_t rowBytes = (std::int64_t(bitmap.width) * bits + 7) / 8;
        if (!bitmap.pixels)
            throw std::runtime_error("unknown bitmap format");
        if (bitmap.bytesPerRow < rowBytes || std::int64_t(bitmap.bytesPerRow) * (bitmap.height - 1) + rowBytes > MaxBitmapPixels * 4)
            throw std::runtime_error("bitmap rows of " + std::to_string(bitmap.bytesPerRow) + " bytes do not fit its size");
        return encodePacked(bitmap, bits, keepColour);
    }
    const int channels = channelsOf(bitmap.format);
    if (channels == 0 || !bitmap.pixels)
        throw std::runtime_error("unknown bitmap format");
    // Rows may be padded or lie in a wider bitmap, but the rows read must span no more
    // memory than the largest bitmap has.
    const std::int64_t minRow = std::int64_t(bitmap.width) * channels;
    if (bitmap.bytesPerRow < minRow
        || std::int64_t(bitmap.bytesPerRow) * (bitmap.height - 1) + minRow > MaxBitmapPixels * 4)
        throw std::runtime_error("bitmap rows of " + std::to_string(bitmap.bytesPerRow) + " bytes do not fit its size");

    Content content = scan(bitmap, channels);
    if (keepColour && channels >= 3)
        content.gray = content.blackWhite = false;
    EncodedImage image;
    if (content.blackWhite)
        image = encodeBilevel(bitmap, channels);
    else
        image = EncodeFlate(PlaneRows(bitmap, channels, content.gray ? PlaneRows::Gray : PlaneRows::Rgb));
    if ((channels == 2 || channels == 4) && !content.opaque)
        image.softMask = std::make_unique<EncodedImage>(EncodeFlate(PlaneRows(bitmap, channels, PlaneRows::Alpha)));
    return image;
}

} // namespace

EncodedImage EncodeBitmap(const PDFE_Bitmap &bitmap)
{
    const int components = colourComponents(bitmap);
    const bool profiled = bitmap.iccProfile && bitmap.iccProfileSize > 0
                          && !IccProfileFault(bitmap.iccProfile, bitmap.iccProfileSize, components);
    EncodedImage image = encode(bitmap, profiled);
    if (profiled) {
        image.iccProfile.assign(bitmap.iccProfile, bitmap.iccProfile + bitmap.iccProfileSize);
        image.iccComponents = components;
        sha256_ctx hash;
        sha256_init(&hash);
        sha256_update(&hash, image.iccProfile.size(), image.iccProfile.data());
        sha256_digest(&hash, image.iccHash.size(), image.iccHash.data());
    }
    image.orientation = bitmap.orientation >= 1 && bitmap.orientation <= 8 ? bitmap.orientation : 1;
    return image;
}

} // namespace pdfe
