#pragma once

#include <cstdint>
#include <vector>

namespace pdfe {

// Metrics of the glyph-less font, in units of 1/1000 em: every glyph advances by
// GlyphlessAdvance and the font's box runs from GlyphlessDescent (below the baseline) to
// GlyphlessAscent, so text set at size s covers exactly s vertically.
constexpr int GlyphlessAdvance = 500;
constexpr int GlyphlessAscent = 800;
constexpr int GlyphlessDescent = -200;

// A minimal TrueType font of two glyphs without ink, both advancing by GlyphlessAdvance:
// .notdef, empty, and the one glyph every character shows, whose outline is a single line
// from the em box's bottom left to its top right. A line encloses nothing, so even filled it
// leaves no mark, but it gives the glyph the em box as its bounds: PDFium takes a
// character's box from its glyph's bounds and would make an empty glyph's box flat.
// Invisible text of a page's text layer is set in it: readers need a real embedded font to
// place text.
std::vector<std::uint8_t> GlyphlessTrueType();

} // namespace pdfe
