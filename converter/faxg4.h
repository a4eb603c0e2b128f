#pragma once

#include <cstdint>
#include <vector>

namespace pdfe {

// CCITT Group 4 (T.6) coding of a bilevel image by libtiff's encoder. rows holds height rows
// of rowBytes bytes, 1 bit per pixel, most significant bit first, 1 for black. The result is
// the bare coded data ending with EOFB, as a PDF CCITTFaxDecode filter with K -1 reads it
// (its output has 0 for black, DeviceGray's order). Throws std::runtime_error when libtiff
// fails and std::bad_alloc when memory runs out.
std::vector<std::uint8_t> EncodeFaxG4(const std::uint8_t *rows, std::size_t rowBytes, int width, int height);

} // namespace pdfe
