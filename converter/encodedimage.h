#pragma once

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
    // An ICC profile for the image's colour space, written as an object of its own; the
    // dictionary then lacks /ColorSpace, and iccAlternate names the device space it stands for.
    std::vector<std::uint8_t> iccProfile;
    int iccComponents = 0;
    std::string iccAlternate;
    int orientation = 1; // as EXIF orientations count, how the samples are turned to be shown
};

} // namespace pdfe
