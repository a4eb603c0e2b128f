#pragma once

#include "pdfe.h"

#include <cstddef>
#include <cstdint>

namespace pdfe {

// One plane of a bitmap as a PDF image stores it, produced a row at a time so that no copy
// of the whole plane is ever made: the gray samples, the RGB samples, the alpha samples, or
// gray samples of only 0 and 255 packed 1 bit per pixel (1 for white, as DeviceGray reads
// it, or 1 for black, as the fax coder takes it).
class PlaneRows
{
public:
    enum Kind { Gray, Rgb, Alpha, White1, Black1 };

    PlaneRows(const PDFE_Bitmap &bitmap, int bitmapChannels, Kind kind);

    int width() const { return m_bitmap.width; }
    int height() const { return m_bitmap.height; }
    int channels() const { return m_kind == Rgb ? 3 : 1; }
    int bitsPerComponent() const { return m_kind == White1 || m_kind == Black1 ? 1 : 8; }
    std::size_t rowBytes() const;
    // Bytes between a sample and the one to its left, for the PNG row filters (at least 1).
    int bytesPerPixel() const { return m_kind == Rgb ? 3 : 1; }

    // Writes row y (rowBytes() bytes) to out.
    void row(int y, std::uint8_t *out) const;

private:
    const PDFE_Bitmap &m_bitmap;
    int m_stride;
    Kind m_kind;
};

} // namespace pdfe
