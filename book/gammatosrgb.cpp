#include "gammatosrgb.h"

#include <cmath>

namespace {

// The sRGB transfer function (IEC 61966-2-1) from linear light to its encoding.
double srgbEncoded(double linear)
{
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

} // namespace

GammaToSrgb::GammaToSrgb(double fileGamma, int bitDepth) : m_table(std::size_t(1) << bitDepth)
{
    const double top = double(m_table.size() - 1);
    for (std::size_t v = 0; v < m_table.size(); ++v) {
        const double linear = std::pow(double(v) / top, 1 / fileGamma);
        m_table[v] = std::uint8_t(std::lround(255 * srgbEncoded(linear)));
    }
}
