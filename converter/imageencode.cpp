#include "imageencode.h"

#include <libdeflate.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace pdfe {

namespace {

// Flate levels of libdeflate: the usual one, and a fast one for images that hardly
// compress (photos, heavy grain), where a higher level gains a percent or two at twice the
// time.
constexpr int CompressionLevel = 4;
constexpr int FastCompressionLevel = 1;
constexpr double HardlyCompressible = 0.75;
// The largest bitmap taken, in pixels (a page of 20000 x 20000).
constexpr std::int64_t MaxPixels = 400'000'000;

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

// Samples of one image plane set, rows packed without padding.
struct Plane
{
    int width = 0;
    int height = 0;
    int channels = 0;       // 1 or 3
    int bitsPerComponent = 8;
    std::vector<std::uint8_t> rows;

    std::size_t rowBytes() const { return (std::size_t(width) * channels * bitsPerComponent + 7) / 8; }
};

inline int paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// PNG row filters: for each row the filter whose output has the smallest order-0 entropy,
// which tracks what Flate can do with it better than the usual smallest-sum rule (on scanned
// pages the grain makes differences noisier than the samples themselves). Each row is
// prefixed with its filter type.
std::vector<std::uint8_t> filterRows(const Plane &plane, bool unfiltered = false, int firstRow = 0, int rowCount = -1)
{
    const std::size_t rowBytes = plane.rowBytes();
    const std::size_t bpp = std::max<std::size_t>(1, std::size_t(plane.channels) * plane.bitsPerComponent / 8);
    if (rowCount < 0)
        rowCount = plane.height - firstRow;
    std::vector<std::uint8_t> out((rowBytes + 1) * rowCount);
    if (unfiltered) {
        for (int r = 0; r < rowCount; ++r) {
            out[(rowBytes + 1) * r] = 0;
            std::memcpy(out.data() + (rowBytes + 1) * r + 1, plane.rows.data() + rowBytes * (firstRow + r), rowBytes);
        }
        return out;
    }
    std::vector<std::uint8_t> candidate[5];
    for (auto &c : candidate)
        c.resize(rowBytes);
    std::vector<std::uint8_t> zero(rowBytes, 0);
    // c * log2(c) for every count a row can have.
    std::vector<float> clogc(rowBytes + 1, 0.0f);
    for (std::size_t c = 2; c <= rowBytes; ++c)
        clogc[c] = float(double(c) * std::log2(double(c)));
    std::uint32_t histogram[5][256];
    for (int r = 0; r < rowCount; ++r) {
        const int y = firstRow + r;
        const std::uint8_t *row = plane.rows.data() + rowBytes * y;
        const std::uint8_t *up = y ? row - rowBytes : zero.data();
        std::memset(histogram, 0, sizeof histogram);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            const int a = i >= bpp ? row[i - bpp] : 0;
            const int b = up[i];
            const int c = i >= bpp ? up[i - bpp] : 0;
            const std::uint8_t x = row[i];
            const std::uint8_t v[5] = {x, std::uint8_t(x - a), std::uint8_t(x - b), std::uint8_t(x - ((a + b) >> 1)),
                                       std::uint8_t(x - paeth(a, b, c))};
            for (int f = 0; f < 5; ++f) {
                candidate[f][i] = v[f];
                ++histogram[f][v[f]];
            }
        }
        // Bits of an ideal order-0 code: n log2 n - sum c log2 c; n is the same for all.
        int best = 0;
        float bestCost = 0;
        for (int f = 0; f < 5; ++f) {
            float sum = 0;
            for (int k = 0; k < 256; ++k)
                sum += clogc[histogram[f][k]];
            const float cost = -sum;
            if (f == 0 || cost < bestCost) {
                best = f;
                bestCost = cost;
            }
        }
        std::uint8_t *o = out.data() + (rowBytes + 1) * r;
        o[0] = std::uint8_t(best);
        std::memcpy(o + 1, candidate[best].data(), rowBytes);
    }
    return out;
}

std::vector<std::uint8_t> deflate(const std::vector<std::uint8_t> &in, int level = CompressionLevel)
{
    libdeflate_compressor *compressor = libdeflate_alloc_compressor(level);
    if (!compressor)
        throw std::runtime_error("out of memory");
    std::vector<std::uint8_t> out(libdeflate_zlib_compress_bound(compressor, in.size()));
    const std::size_t size = libdeflate_zlib_compress(compressor, in.data(), in.size(), out.data(), out.size());
    libdeflate_free_compressor(compressor);
    if (size == 0)
        throw std::runtime_error("compression failed");
    out.resize(size);
    return out;
}

struct Strategy
{
    bool unfiltered = false;
    int level = CompressionLevel;
};

// Row filters usually shrink an image, but on grainy scans Flate finds more in the samples
// as they are. A few bands of rows compressed both ways decide, and tell how well the image
// compresses at all.
Strategy chooseStrategy(const Plane &plane)
{
    constexpr int BandRows = 8;
    constexpr int Bands = 12;
    Strategy strategy;
    if (plane.bitsPerComponent != 8 || plane.height < BandRows * Bands * 2)
        return strategy;
    std::size_t filtered = 0, unfiltered = 0, raw = 0;
    for (int band = 0; band < Bands; ++band) {
        const int first = (plane.height - BandRows) * band / (Bands - 1);
        filtered += deflate(filterRows(plane, false, first, BandRows), FastCompressionLevel).size();
        unfiltered += deflate(filterRows(plane, true, first, BandRows), FastCompressionLevel).size();
        raw += plane.rowBytes() * BandRows;
    }
    strategy.unfiltered = unfiltered < filtered;
    if (double(std::min(filtered, unfiltered)) > HardlyCompressible * double(raw))
        strategy.level = FastCompressionLevel;
    return strategy;
}

EncodedImage encodePlane(const Plane &plane)
{
    EncodedImage image;
    const char *space = plane.channels == 3 ? "/DeviceRGB" : "/DeviceGray";
    image.dictionary = "/Type/XObject/Subtype/Image/Width " + std::to_string(plane.width) + "/Height "
                       + std::to_string(plane.height) + "/ColorSpace" + space + "/BitsPerComponent "
                       + std::to_string(plane.bitsPerComponent) + "/Filter/FlateDecode/DecodeParms<</Predictor 15/Colors "
                       + std::to_string(plane.channels) + "/BitsPerComponent " + std::to_string(plane.bitsPerComponent)
                       + "/Columns " + std::to_string(plane.width) + ">>";
    const Strategy strategy = chooseStrategy(plane);
    image.data = deflate(filterRows(plane, strategy.unfiltered), strategy.level);
    return image;
}

EncodedImage encodeJpeg(const PDFE_Bitmap &bitmap)
{
    if (bitmap.jpegComponents != 1 && bitmap.jpegComponents != 3)
        throw std::runtime_error("unsupported JPEG colour components");
    EncodedImage image;
    image.dictionary = "/Type/XObject/Subtype/Image/Width " + std::to_string(bitmap.width) + "/Height "
                       + std::to_string(bitmap.height) + "/ColorSpace"
                       + (bitmap.jpegComponents == 3 ? "/DeviceRGB" : "/DeviceGray")
                       + "/BitsPerComponent 8/Filter/DCTDecode";
    image.data.assign(bitmap.jpeg, bitmap.jpeg + bitmap.jpegSize);
    return image;
}

} // namespace

EncodedImage EncodeBitmap(const PDFE_Bitmap &bitmap)
{
    if (bitmap.width <= 0 || bitmap.height <= 0)
        throw std::runtime_error("bitmap without pixels");
    if (std::int64_t(bitmap.width) * bitmap.height > MaxPixels)
        throw std::runtime_error("bitmap too large");
    if (bitmap.jpeg && bitmap.jpegSize > 0)
        return encodeJpeg(bitmap);
    const int channels = channelsOf(bitmap.format);
    if (channels == 0 || !bitmap.pixels || bitmap.bytesPerRow < bitmap.width * channels)
        throw std::runtime_error("unknown bitmap format");

    const int w = bitmap.width, h = bitmap.height;
    const bool hasAlpha = channels == 2 || channels == 4;
    const int colour = hasAlpha ? channels - 1 : channels;
    auto pixel = [&](int x, int y) { return bitmap.pixels + std::size_t(bitmap.bytesPerRow) * y + std::size_t(x) * channels; };

    // One pass to learn what the pixels need.
    bool opaque = true, gray = colour == 1, blackWhite = true;
    if (colour == 3)
        gray = true;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t *p = pixel(x, y);
            if (hasAlpha && p[colour] != 255)
                opaque = false;
            if (colour == 3 && (p[0] != p[1] || p[1] != p[2]))
                gray = false;
            if (p[0] != 0 && p[0] != 255)
                blackWhite = false;
        }
    }
    blackWhite = blackWhite && gray;

    Plane plane;
    plane.width = w;
    plane.height = h;
    plane.channels = gray ? 1 : 3;
    plane.bitsPerComponent = blackWhite ? 1 : 8;
    plane.rows.assign(plane.rowBytes() * h, 0);
    for (int y = 0; y < h; ++y) {
        std::uint8_t *o = plane.rows.data() + plane.rowBytes() * y;
        for (int x = 0; x < w; ++x) {
            const std::uint8_t *p = pixel(x, y);
            if (blackWhite) {
                if (p[0])
                    o[x >> 3] |= std::uint8_t(0x80 >> (x & 7));
            } else if (gray) {
                o[x] = p[0];
            } else {
                o[3 * x] = p[0];
                o[3 * x + 1] = p[1];
                o[3 * x + 2] = p[2];
            }
        }
    }
    EncodedImage image = encodePlane(plane);

    if (hasAlpha && !opaque) {
        Plane mask;
        mask.width = w;
        mask.height = h;
        mask.channels = 1;
        mask.rows.resize(std::size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                mask.rows[std::size_t(w) * y + x] = pixel(x, y)[colour];
        image.softMask = std::make_unique<EncodedImage>(encodePlane(mask));
    }
    return image;
}

} // namespace pdfe
