#include "textlayer.h"

#include "glyphlessfont.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace pdfe {

namespace {

constexpr const char *FontName = "QmText";
constexpr const char *BaseFont = "QuillmoorGlyphless";
constexpr unsigned MaxCode = 0xFFFF;

void AppendHex(std::string &out, unsigned value, int digits)
{
    static const char hex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += hex[(value >> shift) & 0xF];
}

std::string Utf16Hex(char32_t c)
{
    std::string out;
    if (c >= 0x10000) {
        c -= 0x10000;
        AppendHex(out, 0xD800 + (c >> 10), 4);
        AppendHex(out, 0xDC00 + (c & 0x3FF), 4);
    } else {
        AppendHex(out, c, 4);
    }
    return out;
}

// A word box in PDF points: left, bottom, width, height.
struct Box
{
    double x, y, w, h;
    std::u32string text;
};

} // namespace

std::u32string DecodeUtf8(const char *text)
{
    std::u32string out;
    if (!text)
        return out;
    static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
    const auto *p = reinterpret_cast<const unsigned char *>(text);
    while (*p) {
        const unsigned char lead = *p;
        const int more = lead < 0x80 ? 0 : (lead >> 5) == 6 ? 1 : (lead >> 4) == 14 ? 2 : (lead >> 3) == 30 ? 3 : -1;
        if (more < 0) {
            out += 0xFFFD;
            ++p;
            continue;
        }
        char32_t c = more == 0 ? lead : more == 1 ? lead & 0x1F : more == 2 ? lead & 0x0F : lead & 0x07;
        // The terminating zero is no continuation byte: a sequence cut short stops before it.
        int length = 1;
        for (; length <= more && (p[length] & 0xC0) == 0x80; ++length)
            c = (c << 6) | (p[length] & 0x3F);
        if (length <= more || c < least[more] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
            // Only the lead byte is taken: the bytes after it are read for what they are.
            out += 0xFFFD;
            ++p;
            continue;
        }
        out += c;
        p += length;
    }
    return out;
}

std::string TextLayer::codes(const std::u32string &text)
{
    std::string out;
    for (char32_t c : text) {
        auto it = m_codeOf.find(c);
        unsigned code;
        if (it != m_codeOf.end()) {
            code = it->second;
        } else if (m_characters.size() < MaxCode - 1) {
            m_characters.push_back(c);
            code = unsigned(m_characters.size());
            m_codeOf.emplace(c, code);
        } else {
            // Past 65534 different characters in one document: the rest copy as U+FFFD.
            code = m_codeOf.count(0xFFFD) ? m_codeOf[0xFFFD] : 1;
        }
        AppendHex(out, code, 4);
    }
    return out;
}

std::string TextLayer::pageContent(PdfWriter &writer, const PDFE_TextWord *words, int count, int pageWidth,
                                   int pageHeight, double scaleX, double scaleY)
{
    std::vector<Box> boxes;
    for (int i = 0; words && i < count; ++i) {
        const PDFE_TextWord &word = words[i];
        // Boxes are cut to the page (any 32-bit box adds up in 64 bits); nothing left, no word.
        const std::int64_t left = std::max<std::int64_t>(word.x, 0), top = std::max<std::int64_t>(word.y, 0);
        const std::int64_t right = std::min<std::int64_t>(std::int64_t(word.x) + word.w, pageWidth);
        const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(word.y) + word.h, pageHeight);
        if (right <= left || bottom <= top)
            continue;
        std::u32string text = DecodeUtf8(word.utf8);
        std::erase_if(text, [](char32_t c) { return c < 0x20 || c == 0x7F; });
        if (text.empty())
            continue;
        boxes.push_back({double(left) * scaleX, double(pageHeight - bottom) * scaleY, double(right - left) * scaleX,
                         double(bottom - top) * scaleY, std::move(text)});
    }
    if (boxes.empty())
        return {};
    if (!m_type0) {
        m_type0 = writer.reserveObject();
        m_cidFont = writer.reserveObject();
        m_descriptor = writer.reserveObject();
        m_fontFile = writer.reserveObject();
        m_toUnicode = writer.reserveObject();
        m_cidToGid = writer.reserveObject();
    }

    // Words come in reading order. Those that follow each other rightwards at the same height
    // form a line and share its baseline and size, so every reader extracts them as one line.
    // A space closes each word but the line's last, filling the gap to the next word.
    const std::string space = codes(U" ");
    std::string out = "BT 3 Tr\n";
    const double unit = GlyphlessAdvance / 1000.0;
    std::size_t first = 0;
    while (first < boxes.size()) {
        double bottom = boxes[first].y, top = boxes[first].y + boxes[first].h;
        std::size_t end = first + 1;
        for (; end < boxes.size(); ++end) {
            const Box &prev = boxes[end - 1], &next = boxes[end];
            const double overlap = std::min(top, next.y + next.h) - std::max(bottom, next.y);
            if (next.x < prev.x + prev.w * 0.5 || overlap < 0.5 * std::min(top - bottom, next.h))
                break;
            bottom = std::min(bottom, next.y);
            top = std::max(top, next.y + next.h);
        }
        const double size = top - bottom;
        const double baseline = bottom - GlyphlessDescent / 1000.0 * size;
        out += '/';
        out += FontName;
        out += ' ' + Num(size) + " Tf\n";
        for (std::size_t i = first; i < end; ++i) {
            const Box &box = boxes[i];
            out += Num(100.0 * box.w / (box.text.size() * unit * size)) + " Tz 1 0 0 1 " + Num(box.x) + " "
                   + Num(baseline) + " Tm <" + codes(box.text) + "> Tj\n";
            if (i + 1 < end) {
                const double gap = std::max(boxes[i + 1].x - (box.x + box.w), 0.01 * size);
                out += Num(100.0 * gap / (unit * size)) + " Tz <" + space + "> Tj\n";
            }
        }
        first = end;
    }
    return out + "ET\n";
}

std::string TextLayer::fontResource() const
{
    return "/Font<</" + std::string(FontName) + " " + std::to_string(m_type0) + " 0 R>>";
}

std::string TextLayer::toUnicodeMap() const
{
    std::string map = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                      "/CIDSystemInfo <</Registry (Adobe) /Ordering (UCS) /Supplement 0>> def\n"
                      "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                      "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    for (std::size_t start = 0; start < m_characters.size(); start += 100) {
        const std::size_t n = std::min<std::size_t>(100, m_characters.size() - start);
        map += std::to_string(n) + " beginbfchar\n";
        for (std::size_t i = start; i < start + n; ++i) {
            map += "<";
            AppendHex(map, unsigned(i + 1), 4);
            map += "> <" + Utf16Hex(m_characters[i]) + ">\n";
        }
        map += "endbfchar\n";
    }
    return map + "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
}

void TextLayer::finish(PdfWriter &writer)
{
    if (!m_type0)
        return;
    const auto ref = [](int object) { return ' ' + std::to_string(object) + " 0 R"; };
    writer.beginObject(m_type0);
    writer.write("<</Type/Font/Subtype/Type0/BaseFont/" + std::string(BaseFont) + "/Encoding/Identity-H/DescendantFonts["
                 + ref(m_cidFont) + "]/ToUnicode" + ref(m_toUnicode) + ">>");
    writer.endObject();

    writer.beginObject(m_cidFont);
    writer.write("<</Type/Font/Subtype/CIDFontType2/BaseFont/" + std::string(BaseFont)
                 + "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor" + ref(m_descriptor)
                 + "/DW " + std::to_string(GlyphlessAdvance) + "/CIDToGIDMap" + ref(m_cidToGid) + ">>");
    writer.endObject();

    writer.beginObject(m_descriptor);
    writer.write("<</Type/FontDescriptor/FontName/" + std::string(BaseFont) + "/Flags 4/FontBBox[0 "
                 + std::to_string(GlyphlessDescent) + " " + std::to_string(GlyphlessAdvance) + " "
                 + std::to_string(GlyphlessAscent) + "]/ItalicAngle 0/Ascent " + std::to_string(GlyphlessAscent)
                 + "/Descent " + std::to_string(GlyphlessDescent) + "/CapHeight " + std::to_string(GlyphlessAscent)
                 + "/StemV 80/FontFile2" + ref(m_fontFile) + ">>");
    writer.endObject();

    const std::vector<std::uint8_t> font = GlyphlessTrueType();
    writer.streamObject(m_fontFile, "/Length1 " + std::to_string(font.size()), font.data(), font.size());

    const std::string map = toUnicodeMap();
    writer.streamObject(m_toUnicode, "", reinterpret_cast<const std::uint8_t *>(map.data()), map.size());

    // Every code but 0 shows the font's one blank glyph.
    std::vector<std::uint8_t> gids((m_characters.size() + 1) * 2, 0);
    for (std::size_t i = 1; i <= m_characters.size(); ++i)
        gids[2 * i + 1] = 1;
    writer.streamObject(m_cidToGid, "", gids.data(), gids.size());
}

} // namespace pdfe
