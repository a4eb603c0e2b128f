#pragma once

#include "pdfe.h"
#include "pdfwriter.h"

#include <map>
#include <string>
#include <vector>

namespace pdfe {

// The invisible text of a document's pages, so that readers can search, select and copy
// what a scanned page shows. Words are set in text rendering mode 3 (neither filled nor
// stroked) in a glyph-less font of our own, each scaled onto its box. Characters become
// codes handed out per document (two bytes, Identity-H), and the font's ToUnicode map
// gives each code its Unicode text back, outside the Basic Multilingual Plane too. The font
// objects are written once, when the document ends.
class TextLayer
{
public:
    // Content stream operators for words on a page of pageWidth x pageHeight pixel units,
    // each scaleX x scaleY points. Word boxes are cut to the page; words with nothing left of
    // their box or without text are left out. Empty when no word is left. The first call
    // reserves the font's object numbers.
    std::string pageContent(PdfWriter &writer, const PDFE_TextWord *words, int count, int pageWidth, int pageHeight,
                            double scaleX, double scaleY);

    // The page resource entry naming the font: "/Font<<...>>".
    std::string fontResource() const;

    // Writes the font objects if any page has text.
    void finish(PdfWriter &writer);

private:
    std::string codes(const std::u32string &text);
    std::string toUnicodeMap() const;

    std::map<char32_t, unsigned> m_codeOf;
    std::vector<char32_t> m_characters; // by code - 1
    int m_type0 = 0, m_cidFont = 0, m_descriptor = 0, m_fontFile = 0, m_toUnicode = 0, m_cidToGid = 0;
};

// The characters of a zero-terminated UTF-8 text. Each byte that does not begin a well-formed
// character (cut short, overlong, a surrogate or past U+10FFFF) becomes one U+FFFD, and
// reading goes on at the byte after it; nothing past the terminating zero is read.
std::u32string DecodeUtf8(const char *text);

} // namespace pdfe
