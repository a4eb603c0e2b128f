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
};

} // namespace pdfe
