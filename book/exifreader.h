#pragma once

#include <QtGlobal>

// What an Exif segment's first image directory says about the picture: how it is shown and at
// what resolution it was scanned. Browsers read the orientation there and nowhere else (not in
// the thumbnail's directory that may follow), and so does the program, for the page and for its
// text recognition alike.
struct ExifFacts
{
    int orientation = 0;          // 1 to 8; 0 when the directory has none or a damaged one
    double dotsPerInchX = 0;      // from XResolution and ResolutionUnit; 0 when not said
    double dotsPerInchY = 0;
};

// Reads an APP1 segment's content that starts with "Exif\0\0". Anything damaged or out of the
// segment's bounds is left out (0), never read past the segment.
ExifFacts ReadExif(const unsigned char *segment, qsizetype size);
