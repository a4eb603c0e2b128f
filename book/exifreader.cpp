#include "exifreader.h"

#include <cstring>

namespace {

// TIFF tags and field types (TIFF 6.0, section 2 and 8).
constexpr int OrientationTag = 0x0112, XResolutionTag = 0x011A, YResolutionTag = 0x011B, ResolutionUnitTag = 0x0128;
constexpr int ShortType = 3, RationalType = 5;
constexpr int Inch = 2, Centimetre = 3;

class Tiff
{
public:
    Tiff(const unsigned char *data, qsizetype size) : m_data(data), m_size(size), m_little(size >= 2 && data[0] == 'I') {}

    bool inside(qsizetype at, qsizetype length) const { return at >= 0 && length >= 0 && at <= m_size - length; }
    quint32 u16(qsizetype at) const
    {
        return m_little ? m_data[at] | (m_data[at + 1] << 8) : (m_data[at] << 8) | m_data[at + 1];
    }
    quint32 u32(qsizetype at) const
    {
        return m_little ? u16(at) | (u16(at + 2) << 16) : (u16(at) << 16) | u16(at + 2);
    }

private:
    const unsigned char *m_data;
    qsizetype m_size;
    bool m_little;
};

} // namespace

ExifFacts ReadExif(const unsigned char *segment, qsizetype size)
{
    ExifFacts facts;
    // "Exif\0\0", then a TIFF header: byte order, 42, the first directory's offset.
    if (size < 6 + 8 || std::memcmp(segment, "Exif\0\0", 6) != 0)
        return facts;
    const unsigned char *data = segment + 6;
    const Tiff tiff(data, size - 6);
    if (!((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M')) || tiff.u16(2) != 42)
        return facts;
    const qsizetype directory = tiff.u32(4);
    if (directory < 8 || !tiff.inside(directory, 2))
        return facts;
    const int entries = int(tiff.u16(directory));
    double resolution[2] = {0, 0};
    int unit = Inch; // TIFF's default
    for (int i = 0; i < entries; ++i) {
        // Tag, type, count, and the value itself or the offset of where it stands.
        const qsizetype entry = directory + 2 + 12 * qsizetype(i);
        if (!tiff.inside(entry, 12))
            break;
        const int tag = int(tiff.u16(entry)), type = int(tiff.u16(entry + 2));
        const quint32 count = tiff.u32(entry + 4);
        if (tag == OrientationTag) {
            const int value = int(tiff.u16(entry + 8));
            facts.orientation = type == ShortType && count == 1 && value >= 1 && value <= 8 ? value : 0;
        } else if (tag == ResolutionUnitTag && type == ShortType && count == 1) {
            unit = int(tiff.u16(entry + 8));
        } else if ((tag == XResolutionTag || tag == YResolutionTag) && type == RationalType && count == 1) {
            const qsizetype at = tiff.u32(entry + 8);
            if (tiff.inside(at, 8) && tiff.u32(at + 4) != 0)
                resolution[tag == YResolutionTag] = double(tiff.u32(at)) / tiff.u32(at + 4);
        }
    }
    const double perInch = unit == Inch ? 1.0 : unit == Centimetre ? 2.54 : 0.0;
    facts.dotsPerInchX = resolution[0] * perInch;
    facts.dotsPerInchY = resolution[1] * perInch;
    return facts;
}
