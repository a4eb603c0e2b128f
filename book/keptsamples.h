#pragma once

#include <QtGlobal>

#include <cstdint>

// The 8-bit samples of a picture decoded row by row, kept with the channels the picture uses
// and no more: gray until a pixel is not gray, no alpha until a pixel is not opaque. A page a
// canvas exports (opaque RGBA) takes a quarter of the memory its rows come in, a gray scan a
// quarter or a third, and a blank page of a hundred megapixels does not cost four hundred
// megabytes on its way to being one. Rows that need more channels than those kept so far widen
// what is kept, in place; rows not given yet are zero.
class KeptSamples
{
public:
    // Rows come with sourceChannels samples a pixel (1 gray, 2 gray and alpha, 3 RGB, 4 RGBA).
    // keepColour: colour stays colour even where it is gray (an RGB profile is for three
    // samples). storing: false to look at the rows only, as a check does. maxBytes: the most
    // the kept samples may take.
    KeptSamples(int width, int height, int sourceChannels, bool keepColour, bool storing, qint64 maxBytes);
    ~KeptSamples();
    KeptSamples(const KeptSamples &) = delete;
    KeptSamples &operator=(const KeptSamples &) = delete;

    // Takes the pixels firstColumn, firstColumn + step, ... of row y from a row of source
    // samples (the pixels one pass of an interlaced picture gives). False when keeping them
    // would take more than maxBytes, or memory ran out.
    bool add(int y, const std::uint8_t *row, int firstColumn, int step);

    int channels() const { return (m_colour ? 3 : 1) + (m_alpha ? 1 : 0); }
    // Whether add failed because the samples would take more than maxBytes.
    bool tooLarge() const { return m_tooLarge; }
    // What the samples take as kept now, and what they would with these channels.
    qint64 bytes() const { return bytes(channels()); }
    qint64 bytes(int channels) const { return qint64(m_width) * m_height * channels; }
    // The samples (malloc, rows of width x channels() bytes); the store is empty afterwards.
    std::uint8_t *release();

private:
    bool widen(bool colour, bool alpha);

    const int m_width;
    const int m_height;
    const int m_source;
    const bool m_sourceColour;
    const bool m_sourceAlpha;
    const bool m_storing;
    const qint64 m_maxBytes;
    bool m_colour;
    bool m_alpha = false;
    bool m_tooLarge = false;
    std::uint8_t *m_samples = nullptr;
};
