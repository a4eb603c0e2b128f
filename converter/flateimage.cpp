#include "flateimage.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace pdfe {

namespace {

enum Filter { None, Sub, Up, Average, Paeth, FilterCount };

// libdeflate levels. Measured on 1700 x 2400 scanned-looking pages: gray text pages gain
// about 3% from level 3 over level 1 and a gray plane is a third of a colour one's bytes, so
// it can afford it; colour pages that compress well (tinted paper and text) gain 8% from
// level 2; noisy colour (photos) would gain about 4% from level 2 at twice the time, and
// being the slowest pages they keep level 1.
// On grainy gray scans string matches hardly ever pay for themselves: Huffman codes alone
// (zlib's Huffman-only strategy) come out about 5% smaller than libdeflate's level 3 in a
// third of the time. The samples decide between the two codings.
constexpr int SampleLevel = 1;
constexpr int BilevelLevel = 6;
constexpr int GrayLevel = 3;
constexpr int CompressibleColourLevel = 2;
constexpr int NoisyColourLevel = 1;
constexpr double CompressibleBelow = 0.35; // compressed / raw in the sample bands
// Images up to this many filtered bytes are compressed whole with every filter and the
// smallest result kept, rather than judged from samples.
constexpr std::size_t SmallImageBytes = 256 * 1024;
constexpr int SmallImageLevel = 6;
constexpr int SampleBands = 6;
// Huffman codes in whole bits lose a few percent against the entropy.
constexpr double HuffmanOverhead = 1.03;
// The whole image compresses to at most this much more than its sample bands did.
constexpr double ExpectedMargin = 1.25;
constexpr int SampleBandRows = 8;

struct Compressor
{
    explicit Compressor(int level) : c(libdeflate_alloc_compressor(level))
    {
        if (!c)
            throw std::bad_alloc();
    }
    ~Compressor() { libdeflate_free_compressor(c); }
    Compressor(const Compressor &) = delete;
    Compressor &operator=(const Compressor &) = delete;

    std::vector<std::uint8_t> compress(const std::vector<std::uint8_t> &in) const
    {
        std::vector<std::uint8_t> out(libdeflate_zlib_compress_bound(c, in.size()));
        const std::size_t size = libdeflate_zlib_compress(c, in.data(), in.size(), out.data(), out.size());
        if (size == 0)
            throw std::runtime_error("compression failed");
        out.resize(size);
        return out;
    }

    libdeflate_compressor *c;
};

// Flate with Huffman codes only, no string matches.
std::vector<std::uint8_t> huffmanOnly(const std::vector<std::uint8_t> &in)
{
    z_stream stream{};
    const int started = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15, 8, Z_HUFFMAN_ONLY);
    if (started == Z_MEM_ERROR)
        throw std::bad_alloc();
    if (started != Z_OK)
        throw std::runtime_error("compression failed");
    struct Ender
    {
        z_stream *stream;
        ~Ender() { deflateEnd(stream); }
    } ender{&stream};
    std::vector<std::uint8_t> out(deflateBound(&stream, uLong(in.size())));
    stream.next_in = const_cast<Bytef *>(in.data());
    stream.avail_in = uInt(in.size());
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END)
        throw std::runtime_error("compression failed");
    out.resize(stream.total_out);
    out.shrink_to_fit(); // an image waiting for its page holds only its own bytes
    return out;
}

// Bytes Huffman codes alone would take for the filtered rows: their order-0 entropy, with a
// little for the code tables and for codes being whole bits, and never less than a bit a byte,
// the shortest code there is (rows that repeat have next to no entropy, but only string
// matches make them small). Cheaper than compressing.
std::size_t huffmanEstimate(const std::vector<std::uint8_t> &in)
{
    std::uint32_t counts[256] = {};
    for (std::uint8_t b : in)
        ++counts[b];
    double bits = 0;
    const double n = double(in.size());
    for (std::uint32_t c : counts)
        if (c)
            bits -= double(c) * std::log2(double(c) / n);
    return std::size_t(std::max(bits, n) / 8 * HuffmanOverhead) + 64;
}

// One PNG row filter: out = row - prediction from the row to the left (bpp bytes back) and
// the row above (up; zeros above the first row). Plain loops the compiler vectorises.
void filterRow(Filter filter, const std::uint8_t *row, const std::uint8_t *up, std::uint8_t *out, std::size_t n, std::size_t bpp)
{
    bpp = std::min(bpp, n);
    switch (filter) {
    case None:
        std::memcpy(out, row, n);
        return;
    case Sub:
        std::memcpy(out, row, bpp);
        for (std::size_t i = bpp; i < n; ++i)
            out[i] = std::uint8_t(row[i] - row[i - bpp]);
        return;
    case Up:
        for (std::size_t i = 0; i < n; ++i)
            out[i] = std::uint8_t(row[i] - up[i]);
        return;
    case Average:
        for (std::size_t i = 0; i < bpp; ++i)
            out[i] = std::uint8_t(row[i] - (up[i] >> 1));
        for (std::size_t i = bpp; i < n; ++i)
            out[i] = std::uint8_t(row[i] - ((unsigned(row[i - bpp]) + up[i]) >> 1));
        return;
    case Paeth:
        for (std::size_t i = 0; i < bpp; ++i)
            out[i] = std::uint8_t(row[i] - up[i]); // left and upper left are 0: predicts up
        for (std::size_t i = bpp; i < n; ++i) {
            const int a = row[i - bpp], b = up[i], c = up[i - bpp];
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            const int prediction = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
            out[i] = std::uint8_t(row[i] - prediction);
        }
        return;
    case FilterCount:
        break;
    }
}

// Rows first .. first + count - 1 filtered, each prefixed with its filter type.
void filterRows(const PlaneRows &rows, Filter filter, int first, int count, std::vector<std::uint8_t> &out)
{
    const std::size_t n = rows.rowBytes(), bpp = std::size_t(rows.bytesPerPixel());
    std::vector<std::uint8_t> current(n), above(n, 0);
    if (first > 0)
        rows.row(first - 1, above.data());
    out.resize((n + 1) * std::size_t(count));
    for (int r = 0; r < count; ++r) {
        rows.row(first + r, current.data());
        std::uint8_t *o = out.data() + (n + 1) * std::size_t(r);
        o[0] = std::uint8_t(filter);
        filterRow(filter, current.data(), above.data(), o + 1, n, bpp);
        current.swap(above);
    }
}

std::string dictionaryOf(const PlaneRows &rows)
{
    const std::string w = std::to_string(rows.width()), bits = std::to_string(rows.bitsPerComponent());
    return "/Type/XObject/Subtype/Image/Width " + w + "/Height " + std::to_string(rows.height()) + "/BitsPerComponent " + bits
           + "/Filter/FlateDecode/DecodeParms<</Predictor 15/Colors " + std::to_string(rows.channels())
           + "/BitsPerComponent " + bits + "/Columns " + w + ">>";
}

} // namespace

EncodedImage EncodeFlate(const PlaneRows &rows)
{
    EncodedImage image;
    image.dictionary = dictionaryOf(rows);
    image.colourSpace = rows.channels() == 3 ? "/DeviceRGB" : "/DeviceGray";
    const int h = rows.height();
    const std::size_t filteredBytes = (rows.rowBytes() + 1) * std::size_t(h);
    std::vector<std::uint8_t> filtered;

    if (filteredBytes <= SmallImageBytes) {
        const Compressor compressor(SmallImageLevel);
        for (int f = None; f < FilterCount; ++f) {
            filterRows(rows, Filter(f), 0, h, filtered);
            std::vector<std::uint8_t> data = compressor.compress(filtered);
            if (f == None || data.size() < image.data.size())
                image.data.swap(data);
        }
        return image;
    }

    // Bands spread over the page, each filtered every way and compressed quickly both ways.
    Filter best = None;
    bool matchless = false;
    double bestRatio = 0;
    {
        const Compressor sampler(SampleLevel);
        const bool tryHuffman = rows.bitsPerComponent() == 8;
        std::size_t sizes[FilterCount] = {}, huffmanSizes[FilterCount] = {};
        std::vector<std::uint8_t> band;
        // A short, wide image has bands that overlap; they still tell which way is best.
        const int bandRows = std::min(SampleBandRows, h);
        for (int b = 0; b < SampleBands; ++b) {
            const int first = (h - bandRows) * b / (SampleBands - 1);
            for (int f = None; f < FilterCount; ++f) {
                filterRows(rows, Filter(f), first, bandRows, band);
                sizes[f] += sampler.compress(band).size();
                if (tryHuffman)
                    huffmanSizes[f] += huffmanEstimate(band);
            }
        }
        std::size_t bestSize = sizes[None];
        for (int f = None; f < FilterCount; ++f) {
            if (sizes[f] < bestSize) {
                best = Filter(f);
                bestSize = sizes[f];
                matchless = false;
            }
            if (tryHuffman && huffmanSizes[f] < bestSize) {
                best = Filter(f);
                bestSize = huffmanSizes[f];
                matchless = true;
            }
        }
        bestRatio = double(bestSize) / double((rows.rowBytes() + 1) * std::size_t(SampleBands * bandRows));
    }

    filterRows(rows, best, 0, h, filtered);
    if (matchless) {
        image.data = huffmanOnly(filtered);
        return image;
    }
    int level = CompressibleColourLevel;
    if (rows.bitsPerComponent() == 1)
        level = BilevelLevel;
    else if (rows.channels() == 1)
        level = GrayLevel;
    else if (bestRatio >= CompressibleBelow)
        level = NoisyColourLevel;
    const Compressor compressor(level);
    // Room for what the samples promise and a margin, rather than for the worst case (as
    // much as the plane itself); only an image that breaks the promise gets the full room.
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor.c, filtered.size());
    std::vector<std::uint8_t> data(std::min(bound, std::size_t(bestRatio * double(filtered.size()) * ExpectedMargin) + 65536));
    std::size_t size = libdeflate_zlib_compress(compressor.c, filtered.data(), filtered.size(), data.data(), data.size());
    if (size == 0 && data.size() < bound) {
        std::vector<std::uint8_t>().swap(data);
        data.resize(bound);
        size = libdeflate_zlib_compress(compressor.c, filtered.data(), filtered.size(), data.data(), data.size());
    }
    if (size == 0)
        throw std::runtime_error("compression failed");
    std::vector<std::uint8_t>().swap(filtered); // before the data is trimmed to its size
    data.resize(size);
    data.shrink_to_fit();
    image.data = std::move(data);
    return image;
}

} // namespace pdfe
