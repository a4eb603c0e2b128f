#pragma once

#include <cstddef>
#include <cstdint>

namespace pdfe {

// Why an ICC profile cannot be the colour space of an image whose colours have `components`
// samples (1 gray, 3 RGB, 4 CMYK); null when it can. The profile is checked whole: its header
// (the size it declares within the bytes given, its signature, a device class and a colour
// space of that many components, a connection space of XYZ or Lab) and its tag table (every
// tag's data inside the profile). PDF readers given a profile that fails these fall back to
// another colour space with a warning, or show nothing.
const char *IccProfileFault(const std::uint8_t *profile, std::size_t size, int components);

} // namespace pdfe
