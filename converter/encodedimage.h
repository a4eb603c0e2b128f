#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pdfe {

// An image ready for a PDF image XObject: its dictionary entries (without /ColorSpace and
// /Length), its colour space and its stream data, and the soft mask of real transparency if
// there is one.
struct EncodedImage
{
    std::string dictionary;
    // The colour space: a device space by its name ("/DeviceGray", "/DeviceRGB", "/DeviceCMYK");
    // for an indexed image the base of its palette, whose entries are in `palette`.
    std::string colourSpace = "/DeviceGray";
    std::string palette;    // " <highest index><hex entries>", or empty
    std::vector<std::uint8_t> data;
    std::unique_ptr<EncodedImage> softMask; // its dictionary lacks the /SMask reference
    // An ICC profile for the colour space (for its base, with a palette), written as an object
    // of its own shared by every image with the same profile (by iccHash, its SHA-256);
    // colourSpace then names the device space it stands for.
    std::vector<std::uint8_t> iccProfile;
    std::array<std::uint8_t, 32> iccHash{};
    int iccComponents = 0;
    int orientation = 1; // as EXIF orientations count, how the samples are turned to be shown

    // "/ColorSpace..." with base in place of colourSpace (an ICCBased array, say).
    std::string colourSpaceEntry(const std::string &base) const
    {
        return "/ColorSpace" + (palette.empty() ? base : "[/Indexed" + base + palette + "]");
    }
};

} // namespace pdfe
