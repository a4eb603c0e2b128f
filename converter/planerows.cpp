#include "planerows.h"

#include <cstring>

namespace pdfe {

int PackedBits(int format)
{
    switch (format) {
    case PDFE_GRAY1: case PDFE_INDEXED1: return 1;
    case PDFE_GRAY2: case PDFE_INDEXED2: return 2;
    case PDFE_GRAY4: case PDFE_INDEXED4: return 4;
    case PDFE_INDEXED8: return 8;
    default: return 0;
    }
}

PlaneRows::PlaneRows(const PDFE_Bitmap &bitmap, int bitmapChannels, Kind kind, const std::uint8_t *alphaTable)
    : m_bitmap(bitmap), m_stride(bitmapChannels), m_bits(PackedBits(bitmap.format)), m_kind(kind), m_alphaTable(alphaTable)
{
}

int PlaneRows::bitsPerComponent() const
{
    switch (m_kind) {
    case White1: case Black1: case IndexAlpha1: return 1;
    case Packed: case PackedInverted: return m_bits;
    default: return 8;
    }
}

std::size_t PlaneRows::rowBytes() const
{
    const std::size_t w = std::size_t(m_bitmap.width);
    return (w * std::size_t(bitsPerComponent()) + 7) / 8 * std::size_t(channels());
}

void PlaneRows::row(int y, std::uint8_t *out) const
{
    const std::uint8_t *p = m_bitmap.pixels + std::size_t(m_bitmap.bytesPerRow) * std::size_t(y);
    const int w = m_bitmap.width;
    const int stride = m_stride;
    switch (m_kind) {
    case Gray:
        if (stride == 1) {
            std::memcpy(out, p, std::size_t(w));
            return;
        }
        for (int x = 0; x < w; ++x)
            out[x] = p[std::size_t(x) * stride];
        return;
    case Rgb:
        if (stride == 3) {
            std::memcpy(out, p, std::size_t(w) * 3);
            return;
        }
        for (int x = 0; x < w; ++x) {
            out[3 * x] = p[std::size_t(x) * stride];
            out[3 * x + 1] = p[std::size_t(x) * stride + 1];
            out[3 * x + 2] = p[std::size_t(x) * stride + 2];
        }
        return;
    case Alpha:
        for (int x = 0; x < w; ++x)
            out[x] = p[std::size_t(x) * stride + stride - 1];
        return;
    case White1:
    case Black1: {
        // Eight pixels to a byte; the samples are 0 or 255, so their top bit is the pixel.
        const std::uint8_t flip = m_kind == Black1 ? 0xFF : 0x00;
        const int whole = w / 8;
        for (int b = 0; b < whole; ++b) {
            const std::uint8_t *s = p + std::size_t(b) * 8 * stride;
            std::uint8_t v = 0;
            for (int k = 0; k < 8; ++k)
                v = std::uint8_t((v << 1) | (s[k * stride] >> 7));
            out[b] = v ^ flip;
        }
        if (w % 8) {
            std::uint8_t v = 0;
            for (int x = whole * 8; x < w; ++x)
                v |= std::uint8_t((p[std::size_t(x) * stride] >> 7) << (7 - (x & 7)));
            // The unused bits of the last byte: white either way.
            if (m_kind == Black1)
                v = std::uint8_t(~v & (0xFF00 >> (w % 8)));
            else
                v |= std::uint8_t(0xFF >> (w % 8));
            out[whole] = v;
        }
        return;
    }
    case Packed:
    case PackedInverted: {
        const std::size_t n = rowBytes();
        std::memcpy(out, p, n);
        if (m_kind == PackedInverted)
            for (std::size_t i = 0; i < n; ++i)
                out[i] = std::uint8_t(~out[i]);
        // The unused bits of the last byte are 0 (white to the fax coder).
        const int used = int((std::size_t(w) * std::size_t(m_bits)) % 8);
        if (used)
            out[n - 1] &= std::uint8_t(0xFF00 >> used);
        return;
    }
    case IndexAlpha8:
    case IndexAlpha1: {
        const int bits = m_bits, mask = (1 << bits) - 1;
        if (m_kind == IndexAlpha1)
            std::memset(out, 0, rowBytes());
        for (int x = 0; x < w; ++x) {
            const std::size_t bit = std::size_t(x) * std::size_t(bits);
            const int index = (p[bit / 8] >> (8 - bits - int(bit % 8))) & mask;
            const std::uint8_t alpha = m_alphaTable[index];
            if (m_kind == IndexAlpha8)
                out[x] = alpha;
            else if (alpha)
                out[x / 8] |= std::uint8_t(0x80 >> (x % 8));
        }
        return;
    }
    }
}

} // namespace pdfe
