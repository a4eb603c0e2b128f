#include "glyphlessfont.h"

#include <algorithm>
#include <string>
#include <utility>

namespace pdfe {

namespace {

// Big-endian table bytes.
class Bytes
{
public:
    Bytes &u8(unsigned v) { m_data.push_back(std::uint8_t(v)); return *this; }
    Bytes &u16(unsigned v) { return u8(v >> 8).u8(v); }
    Bytes &s16(int v) { return u16(unsigned(std::uint16_t(std::int16_t(v)))); }
    Bytes &u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
    Bytes &tag(const char *t) { for (int i = 0; i < 4; ++i) u8(std::uint8_t(t[i])); return *this; }
    Bytes &zeros(std::size_t n) { m_data.insert(m_data.end(), n, 0); return *this; }
    Bytes &append(const std::vector<std::uint8_t> &b) { m_data.insert(m_data.end(), b.begin(), b.end()); return *this; }
    std::vector<std::uint8_t> &data() { return m_data; }

private:
    std::vector<std::uint8_t> m_data;
};

constexpr int GlyphCount = 2;
constexpr const char *FamilyName = "QuillmoorGlyphless";

std::uint32_t Checksum(const std::vector<std::uint8_t> &table)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < table.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t j = 0; j < 4; ++j)
            word = (word << 8) | (i + j < table.size() ? table[i + j] : 0);
        sum += word;
    }
    return sum;
}

std::vector<std::uint8_t> Head()
{
    Bytes b;
    b.u32(0x00010000).u32(0x00010000).u32(0) // version, revision, checksum adjustment (set later)
        .u32(0x5F0F3CF5).u16(0x000B).u16(1000) // magic, flags, units per em
        .zeros(16)                              // created, modified
        .s16(0).s16(GlyphlessDescent).s16(GlyphlessAdvance).s16(GlyphlessAscent) // bounding box
        .u16(0).u16(8).s16(2).s16(0).s16(0);    // style, smallest size, direction, short loca, glyph format
    return std::move(b.data());
}

std::vector<std::uint8_t> Hhea()
{
    Bytes b;
    b.u32(0x00010000).s16(GlyphlessAscent).s16(GlyphlessDescent).s16(0) // ascender, descender, line gap
        .u16(GlyphlessAdvance).s16(0).s16(0).s16(0)                     // widest advance, bearings, extent
        .s16(1).s16(0).s16(0).zeros(8).s16(0).u16(GlyphCount);          // caret, reserved, format, metrics
    return std::move(b.data());
}

std::vector<std::uint8_t> Maxp()
{
    Bytes b;
    b.u32(0x00010000).u16(GlyphCount).u16(2).u16(1).zeros(4).u16(2).zeros(16); // 2 points, 1 contour
    return std::move(b.data());
}

std::vector<std::uint8_t> Hmtx()
{
    Bytes b;
    for (int i = 0; i < GlyphCount; ++i)
        b.u16(GlyphlessAdvance).s16(0);
    return std::move(b.data());
}

std::vector<std::uint8_t> Glyf()
{
    // Glyph 1: one contour of two on-curve points, (0, descent) and (advance, ascent).
    Bytes b;
    b.s16(1).s16(0).s16(GlyphlessDescent).s16(GlyphlessAdvance).s16(GlyphlessAscent) // contours, bounds
        .u16(1).u16(0)                                                               // last point, no instructions
        .u8(0x01).u8(0x01)                                                           // on curve, 16-bit deltas
        .s16(0).s16(GlyphlessAdvance)                                                // x
        .s16(GlyphlessDescent).s16(GlyphlessAscent - GlyphlessDescent);              // y
    return std::move(b.data());
}

std::vector<std::uint8_t> Loca()
{
    // Short offsets (halved): .notdef empty, glyph 1 the whole table.
    Bytes b;
    b.u16(0).u16(0).u16(unsigned(Glyf().size() / 2));
    return std::move(b.data());
}

std::vector<std::uint8_t> Cmap()
{
    // A Windows Unicode cmap with only the closing segment: the PDF maps codes to glyphs
    // itself (CIDToGIDMap), the table is there for font loaders that insist on one.
    Bytes b;
    b.u16(0).u16(1).u16(3).u16(1).u32(12);
    b.u16(4).u16(24).u16(0).u16(2).u16(2).u16(0).u16(0) // format, length, language, segments
        .u16(0xFFFF).u16(0).u16(0xFFFF).s16(1).u16(0);  // end, pad, start, delta, range offset
    return std::move(b.data());
}

std::vector<std::uint8_t> Post()
{
    Bytes b;
    b.u32(0x00030000).u32(0).s16(-100).s16(50).u32(0).zeros(16);
    return std::move(b.data());
}

std::vector<std::uint8_t> Name()
{
    const std::pair<int, std::string> names[] = {
        {1, FamilyName}, {2, "Regular"}, {3, FamilyName}, {4, FamilyName}, {5, "Version 1.0"}, {6, FamilyName}};
    const int count = int(std::size(names));
    Bytes b;
    b.u16(0).u16(count).u16(6 + 12 * count);
    Bytes strings;
    for (const auto &[id, text] : names) {
        const auto offset = strings.data().size();
        for (char c : text)
            strings.u16(std::uint8_t(c)); // UTF-16BE of ASCII
        b.u16(3).u16(1).u16(0x409).u16(id).u16(unsigned(text.size() * 2)).u16(unsigned(offset));
    }
    b.append(strings.data());
    return std::move(b.data());
}

std::vector<std::uint8_t> Os2()
{
    Bytes b;
    b.u16(4).s16(GlyphlessAdvance).u16(400).u16(5).u16(0)  // version, average width, weight, width, embedding
        .s16(650).s16(600).s16(0).s16(75).s16(650).s16(600).s16(0).s16(350) // sub- and superscript
        .s16(50).s16(250).s16(0)                            // strikeout, family class
        .zeros(10).zeros(16).tag("QMDL")                    // panose, unicode ranges, vendor
        .u16(0x0040).u16(0x20).u16(0xFFFF)                  // regular, first and last character
        .s16(GlyphlessAscent).s16(GlyphlessDescent).s16(0)  // typographic metrics
        .u16(GlyphlessAscent).u16(-GlyphlessDescent)        // Windows metrics
        .zeros(8).s16(500).s16(GlyphlessAscent).u16(0).u16(0x20).u16(0);
    return std::move(b.data());
}

} // namespace

std::vector<std::uint8_t> GlyphlessTrueType()
{
    // Tables in tag order, as the table directory wants them.
    std::vector<std::pair<const char *, std::vector<std::uint8_t>>> tables = {
        {"OS/2", Os2()}, {"cmap", Cmap()}, {"glyf", Glyf()}, {"head", Head()}, {"hhea", Hhea()},
        {"hmtx", Hmtx()}, {"loca", Loca()}, {"maxp", Maxp()}, {"name", Name()}, {"post", Post()}};
    const unsigned count = unsigned(tables.size());
    unsigned power = 1, log2 = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++log2;
    }
    Bytes font;
    font.u32(0x00010000).u16(count).u16(power * 16).u16(log2).u16(count * 16 - power * 16);
    std::uint32_t offset = 12 + 16 * count;
    std::size_t headOffset = 0;
    for (const auto &[tag, table] : tables) {
        if (std::string(tag) == "head")
            headOffset = offset;
        font.tag(tag).u32(Checksum(table)).u32(offset).u32(std::uint32_t(table.size()));
        offset += std::uint32_t((table.size() + 3) & ~std::size_t(3));
    }
    for (const auto &[tag, table] : tables) {
        font.append(table);
        font.zeros(((table.size() + 3) & ~std::size_t(3)) - table.size());
    }
    auto &bytes = font.data();
    const std::uint32_t adjustment = 0xB1B0AFBA - Checksum(bytes);
    for (int i = 0; i < 4; ++i)
        bytes[headOffset + 8 + i] = std::uint8_t(adjustment >> (24 - 8 * i));
    return std::move(bytes);
}

} // namespace pdfe
