#include "iccprofile.h"

#include <cstring>

namespace pdfe {

namespace {

// ICC.1:2010, section 7: the header is 128 bytes, the tag count follows, then 12 bytes a tag.
constexpr std::size_t HeaderBytes = 128;
constexpr std::size_t TagEntryBytes = 12;

std::uint32_t bigEndian32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

bool is(const std::uint8_t *p, const char *signature)
{
    return std::memcmp(p, signature, 4) == 0;
}

} // namespace

const char *IccProfileFault(const std::uint8_t *profile, std::size_t size, int components)
{
    if (!profile || size < HeaderBytes + 4)
        return "shorter than a profile's header";
    const std::size_t declared = bigEndian32(profile);
    if (declared < HeaderBytes + 4 || declared > size)
        return "its header declares a size it does not have";
    if (!is(profile + 36, "acsp"))
        return "no profile signature in its header";
    const char *space = components == 1 ? "GRAY" : components == 3 ? "RGB " : components == 4 ? "CMYK" : nullptr;
    if (!space || !is(profile + 16, space))
        return "a profile for other colours than the image's";
    if (!is(profile + 20, "XYZ ") && !is(profile + 20, "Lab "))
        return "an unknown connection space in its header";
    const std::uint8_t *deviceClass = profile + 12;
    if (!is(deviceClass, "scnr") && !is(deviceClass, "mntr") && !is(deviceClass, "prtr") && !is(deviceClass, "spac"))
        return "a device class that cannot stand for an image's colours";
    const std::size_t tags = bigEndian32(profile + HeaderBytes);
    if (tags == 0 || tags > (declared - HeaderBytes - 4) / TagEntryBytes)
        return "its tag table does not fit in it";
    for (std::size_t i = 0; i < tags; ++i) {
        const std::uint8_t *entry = profile + HeaderBytes + 4 + TagEntryBytes * i;
        const std::size_t offset = bigEndian32(entry + 4), length = bigEndian32(entry + 8);
        if (offset < HeaderBytes + 4 || offset > declared || length > declared - offset)
            return "a tag's data lies outside it";
    }
    return nullptr;
}

} // namespace pdfe
