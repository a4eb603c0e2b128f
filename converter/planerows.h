#pragma once

#include "pdfe.h"

#include <cstddef>
#include <cstdint>

namespace pdfe {

// Bits per pixel of a packed bitmap format (PDFE_GRAY1 .. PDFE_INDEXED8), 0 for the others.
int PackedBits(int format);

// One plane of a bitmap as a PDF image stores it, produced a row at a time so that no copy
// of the whole plane is ever made: the gray samples, the RGB samples, the alpha samples, or
// gray samples of only 0 and 255 packed 1 bit per pixel (1 for white, as DeviceGray reads
// it, or 1 for black, as the fax coder takes it). Of a packed bitmap: its rows as they are,
// or with every bit flipped, or the opacity of each pixel's palette entry (8 bits, or 1 bit
// when every opacity is 0 or 255).
class PlaneRows
{
public:
    enum Kind { Gray, Rgb, Alpha, White1, Black1, Packed, PackedInverted, IndexAlpha8, IndexAlpha1 };

    // bitmapChannels: samples per pixel of an 8-bit format (ignored for packed ones);
    // alphaTable: 256 opacities by palette index, for the IndexAlpha kinds.
    PlaneRows(const PDFE_Bitmap &bitmap, int bitmapChannels, Kind kind, const std::uint8_t *alphaTable = nullptr);

    int width() const { return m_bitmap.width; }
    int height() const { return m_bitmap.height; }
    int channels() const { return m_kind == Rgb ? 3 : 1; }
    int bitsPerComponent() const;
    std::size_t rowBytes() const;
    // Bytes between a sample and the one to its left, for the PNG row filters (at least 1).
    int bytesPerPixel() const { return m_kind == Rgb ? 3 : 1; }

    // Writes row y (rowBytes() bytes) to out.
    void row(int y, std::uint8_t *out) const;

private:
    const PDFE_Bitmap &m_bitmap;
    int m_stride;
    int m_bits; // of a packed bitmap
    Kind m_kind;
    const std::uint8_t *m_alphaTable;
};

} // namespace pdfe
