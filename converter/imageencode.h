#pragma once

#include "encodedimage.h"
#include "pdfe.h"

#include <cstdint>

namespace pdfe {

// The largest bitmap taken, in pixels (100 megapixels: a page of 10000 x 10000, four times an
// A4 page scanned at 600 dpi). Checked before anything is allocated.
constexpr std::int64_t MaxBitmapPixels = 100'000'000;
// The largest JPEG file embedded as it is.
constexpr std::size_t MaxJpegBytes = std::size_t(1) << 30;

// Lossless: an opaque alpha channel is dropped, a colour image whose pixels are all gray
// becomes DeviceGray, a gray image of only black and white 1 bit per pixel coded as CCITT
// Group 4 (or Flate where that is smaller); other samples are compressed with Flate after PNG
// row filters. Packed bitmaps keep their depth: palette indices as an Indexed image, small
// gray depths as DeviceGray, their transparency as a colour key mask or a soft mask, and a
// black-and-white one coded as a bilevel page is. A JPEG bitmap is embedded as its own bytes
// (gray, RGB or CMYK) of any size. A whole ICC profile for the bitmap's colours becomes their
// colour space (colour samples then stay colour even where they are gray).
// Thread-safe: nothing is shared between calls. Memory: the bitmap is read row by row;
// besides the result the call holds the filtered plane (the samples as the PDF stores them)
// and room for the compressed data as the sample bands predict it, about 1.2 times the
// bitmap's own size at most for an RGBA page.
// Throws std::runtime_error for a bitmap it cannot take (sizes are checked before any
// allocation) and std::bad_alloc when memory runs out.
EncodedImage EncodeBitmap(const PDFE_Bitmap &bitmap);

} // namespace pdfe
