#pragma once

#include <cstdint>
#include <vector>

// Samples of an image encoded with a gamma (a PNG's gAMA chunk without sRGB or a profile) as
// a browser shows them: decoded with that gamma, sRGB's primaries assumed, and encoded for an
// sRGB screen, 8 bits each. Browsers convert so; PDF readers show the samples as they are.
class GammaToSrgb
{
public:
    // fileGamma: the gAMA chunk's value (0.45455 for most files, 1.0 for linear ones).
    GammaToSrgb(double fileGamma, int bitDepth);

    std::uint8_t operator[](unsigned sample) const { return m_table[sample]; }

private:
    std::vector<std::uint8_t> m_table; // by sample value, 2^bitDepth entries
};
