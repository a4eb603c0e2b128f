#include "faxg4.h"

#include <tiffio.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace pdfe {

namespace {

// A TIFF file in memory: libtiff writes the coded strip into it through these callbacks, and
// the strip's bytes are taken out before the file is thrown away. Nothing is shared between
// calls, so pages can be coded on several threads at once.
struct MemoryFile
{
    std::vector<std::uint8_t> bytes;
    toff_t at = 0;
    bool failed = false;
};

tsize_t readFile(thandle_t, tdata_t, tsize_t)
{
    return 0;
}

tsize_t writeFile(thandle_t handle, tdata_t data, tsize_t size)
{
    auto *file = static_cast<MemoryFile *>(handle);
    try {
        if (file->bytes.size() < file->at + std::size_t(size))
            file->bytes.resize(file->at + std::size_t(size));
    } catch (const std::bad_alloc &) {
        file->failed = true;
        return -1;
    }
    std::memcpy(file->bytes.data() + file->at, data, std::size_t(size));
    file->at += toff_t(size);
    return size;
}

toff_t seekFile(thandle_t handle, toff_t offset, int whence)
{
    auto *file = static_cast<MemoryFile *>(handle);
    switch (whence) {
    case SEEK_SET: file->at = offset; break;
    case SEEK_CUR: file->at += offset; break;
    case SEEK_END: file->at = file->bytes.size() + offset; break;
    default: return toff_t(-1);
    }
    return file->at;
}

int closeFile(thandle_t)
{
    return 0;
}

toff_t sizeOfFile(thandle_t handle)
{
    return static_cast<MemoryFile *>(handle)->bytes.size();
}

int mapFile(thandle_t, tdata_t *, toff_t *)
{
    return 0;
}

void unmapFile(thandle_t, tdata_t, toff_t)
{
}

} // namespace

std::vector<std::uint8_t> EncodeFaxG4(const std::uint8_t *rows, std::size_t rowBytes, int width, int height)
{
    MemoryFile file;
    // libtiff reports problems through global handlers (stderr by default); the result
    // codes are what counts here. "m" keeps it from memory-mapping the callbacks.
    TIFF *tiff = TIFFClientOpen("page", "wm", &file, readFile, writeFile, seekFile, closeFile, sizeOfFile, mapFile, unmapFile);
    if (!tiff)
        throw std::runtime_error("cannot start the fax coder");
    struct Closer
    {
        TIFF *tiff;
        ~Closer() { TIFFCleanup(tiff); }
    } closer{tiff};
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, std::uint32_t(width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, std::uint32_t(height));
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    // The coder codes runs of 0 bits as white and of 1 bits as black.
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, std::uint32_t(height));
    const tmsize_t size = tmsize_t(rowBytes) * height;
    // libtiff takes the rows as non-const but only reads them when coding.
    if (TIFFWriteEncodedStrip(tiff, 0, const_cast<std::uint8_t *>(rows), size) < 0 || file.failed) {
        if (file.failed)
            throw std::bad_alloc();
        throw std::runtime_error("fax coding failed");
    }
    const std::uint64_t offset = TIFFGetStrileOffset(tiff, 0);
    const std::uint64_t count = TIFFGetStrileByteCount(tiff, 0);
    if (count == 0 || offset + count > file.bytes.size())
        throw std::runtime_error("fax coding failed");
    return std::vector<std::uint8_t>(file.bytes.begin() + std::ptrdiff_t(offset), file.bytes.begin() + std::ptrdiff_t(offset + count));
}

} // namespace pdfe
