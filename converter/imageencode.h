#pragma once

#include "pdfe.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pdfe {

// An image ready for a PDF image XObject: its dictionary entries (without /Length) and its
// stream data, and the soft mask of real transparency if there is one.
struct EncodedImage
{
    std::string dictionary;
    std::vector<std::uint8_t> data;
    std::unique_ptr<EncodedImage> softMask; // its dictionary lacks the /SMask reference
};

// Lossless: an opaque alpha channel is dropped, a colour image whose pixels are all gray
// becomes DeviceGray, a gray image of only black and white 1 bit per pixel; the samples are
// compressed with Flate after PNG row filters. A JPEG bitmap is embedded as its own bytes.
// Throws std::runtime_error for a bitmap it cannot take.
EncodedImage EncodeBitmap(const PDFE_Bitmap &bitmap);

} // namespace pdfe
