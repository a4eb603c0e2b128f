#pragma once

#include "encodedimage.h"
#include "planerows.h"

#include <string>

namespace pdfe {

// A plane as a Flate-compressed PDF image with PNG predictors (lossless). One row filter is
// chosen for the whole image from a few sample bands, since on scanned pages mixing filters
// row by row makes Flate's codes worse, not better; the compression level follows what the
// samples showed. Memory: the filtered plane and the compressed data, each at most about
// the plane's size; the bitmap itself is read row by row. The colour space is DeviceGray or
// DeviceRGB by the plane's channels.
EncodedImage EncodeFlate(const PlaneRows &rows);

} // namespace pdfe
