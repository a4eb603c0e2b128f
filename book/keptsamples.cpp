#include "keptsamples.h"

#include <cstdlib>

KeptSamples::KeptSamples(int width, int height, int sourceChannels, bool keepColour, bool storing, qint64 maxBytes)
    : m_width(width), m_height(height), m_source(sourceChannels), m_sourceColour(sourceChannels >= 3),
      m_sourceAlpha(sourceChannels == 2 || sourceChannels == 4), m_storing(storing), m_maxBytes(maxBytes),
      m_colour(keepColour && m_sourceColour)
{
}

KeptSamples::~KeptSamples()
{
    std::free(m_samples);
}

std::uint8_t *KeptSamples::release()
{
    std::uint8_t *samples = m_samples;
    m_samples = nullptr;
    return samples;
}

bool KeptSamples::widen(bool colour, bool alpha)
{
    const int from = channels(), to = (colour ? 3 : 1) + (alpha ? 1 : 0);
    m_tooLarge = bytes(to) > m_maxBytes;
    if (m_tooLarge)
        return false;
    if (m_storing && m_samples) {
        auto *wider = static_cast<std::uint8_t *>(std::realloc(m_samples, std::size_t(bytes(to))));
        if (!wider)
            return false;
        m_samples = wider;
        // From the last pixel back: a wider pixel never lands on one not yet moved.
        for (std::size_t i = std::size_t(m_width) * std::size_t(m_height); i-- > 0;) {
            const std::uint8_t *in = m_samples + i * std::size_t(from);
            std::uint8_t *out = m_samples + i * std::size_t(to);
            const std::uint8_t a = m_alpha ? in[from - 1] : 0xFF;
            if (colour && !m_colour)
                out[0] = out[1] = out[2] = in[0];
            else
                for (int c = (colour ? 3 : 1); c-- > 0;)
                    out[c] = in[c];
            if (alpha)
                out[to - 1] = a;
        }
    }
    m_colour = colour;
    m_alpha = alpha;
    return true;
}

bool KeptSamples::add(int y, const std::uint8_t *row, int firstColumn, int step)
{
    // What these pixels need beyond what is kept.
    bool colour = m_colour, alpha = m_alpha;
    for (int x = firstColumn; x < m_width && !(colour == m_sourceColour && alpha == m_sourceAlpha); x += step) {
        const std::uint8_t *p = row + std::size_t(x) * std::size_t(m_source);
        colour = colour || (m_sourceColour && (p[0] != p[1] || p[1] != p[2]));
        alpha = alpha || (m_sourceAlpha && p[m_source - 1] != 0xFF);
    }
    if ((colour != m_colour || alpha != m_alpha) && !widen(colour, alpha))
        return false;
    if (!m_storing)
        return true;
    if (!m_samples) {
        m_tooLarge = bytes() > m_maxBytes;
        if (m_tooLarge)
            return false;
        m_samples = static_cast<std::uint8_t *>(std::calloc(std::size_t(bytes()), 1));
        if (!m_samples)
            return false;
    }
    const int kept = channels();
    std::uint8_t *out = m_samples + std::size_t(y) * std::size_t(m_width) * std::size_t(kept);
    for (int x = firstColumn; x < m_width; x += step) {
        const std::uint8_t *p = row + std::size_t(x) * std::size_t(m_source);
        std::uint8_t *o = out + std::size_t(x) * std::size_t(kept);
        o[0] = p[0];
        if (m_colour) {
            o[1] = p[1];
            o[2] = p[2];
        }
        if (m_alpha)
            o[kept - 1] = p[m_source - 1];
    }
    return true;
}
