#include "base64.h"

#include <array>
#include <cstdint>

namespace {

constexpr std::uint8_t Skip = 0xFF;
constexpr std::uint8_t Pad = 0xFE;

constexpr std::array<std::uint8_t, 128> makeTable()
{
    std::array<std::uint8_t, 128> t{};
    for (auto &v : t)
        v = Skip;
    const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        t[std::uint8_t(alphabet[i])] = std::uint8_t(i);
    t[std::uint8_t('=')] = Pad;
    return t;
}

constexpr std::array<std::uint8_t, 128> Table = makeTable();

inline std::uint8_t classify(char16_t c)
{
    return c < 128 ? Table[c] : Skip;
}

} // namespace

QByteArray DecodeBase64Tolerant(QStringView text)
{
    const char16_t *in = text.utf16();
    const char16_t *const end = in + text.size();
    QByteArray out;
    out.resize(text.size() / 4 * 3 + 3);
    auto *o = reinterpret_cast<std::uint8_t *>(out.data());
    auto *const start = o;

    std::uint8_t quad[4];
    int filled = 0;
    auto emitGroup = [&o, &quad] {
        auto bits = [](std::uint8_t x) { return x == Pad ? 0u : std::uint32_t(x); };
        const std::uint32_t n = (bits(quad[0]) << 18) | (bits(quad[1]) << 12) | (bits(quad[2]) << 6) | bits(quad[3]);
        const int count = quad[3] != Pad ? 3 : (quad[2] == Pad ? 1 : 2);
        o[0] = std::uint8_t(n >> 16);
        o[1] = std::uint8_t(n >> 8);
        o[2] = std::uint8_t(n);
        o += count;
    };
    while (in < end) {
        if (filled == 0) {
            // Fast path: runs of four plain alphabet characters, nearly all of a data URL.
            while (end - in >= 4) {
                const std::uint8_t a = classify(in[0]), b = classify(in[1]), c = classify(in[2]), d = classify(in[3]);
                if ((a | b | c | d) & 0xC0)
                    break; // a skipped or padding character: the careful path takes this group
                const std::uint32_t v = (std::uint32_t(a) << 18) | (std::uint32_t(b) << 12) | (std::uint32_t(c) << 6) | d;
                o[0] = std::uint8_t(v >> 16);
                o[1] = std::uint8_t(v >> 8);
                o[2] = std::uint8_t(v);
                o += 3;
                in += 4;
            }
            if (in == end)
                break;
        }
        const std::uint8_t v = classify(*in++);
        if (v == Skip)
            continue;
        quad[filled++] = v;
        if (filled == 4) {
            emitGroup();
            filled = 0;
        }
    }
    // An unfinished last group of two or three characters reads as if padded.
    if (filled >= 2) {
        for (int i = filled; i < 4; ++i)
            quad[i] = Pad;
        emitGroup();
    }
    out.resize(o - start);
    return out;
}
