#pragma once

#include <QByteArray>

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

// libjpeg reading one JPEG file in memory, with the limits every reading of a site's file
// keeps: memory for coefficients capped, a bounded number of scans, and any sign of corrupt
// data an error, as a failed decoding (libjpeg would go on with the picture made up). Only
// what libjpeg skips without changing the picture passes: stray bytes between segments, an
// unknown JFIF revision or Adobe transform code.
//
// libjpeg reports errors by a long jump back into the function that set the jump point, so
// a session is a plain record and the functions using it keep no C++ objects alive across
// libjpeg calls:
//     JpegSession s;
//     if (setjmp(s.jump)) { s.end(); return s.message; }  // failed
//     s.begin(data);  ... libjpeg calls on s.cinfo ...  s.end();
struct JpegSession
{
    // Coefficient memory libjpeg may take for one file: a progressive colour page of 100
    // megapixels (4:2:0) needs about 300 MB. More is a failure, JpegTooLarge.
    static constexpr long MaxMemory = 320L << 20;
    // Scans a progressive file may have; encoders write about ten. Each scan can go over
    // the whole picture again, so their number bounds the time a file can take.
    static constexpr int MaxScans = 64;

    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    bool tooLarge = false;   // the failure was the memory cap
    bool started = false;

    // Creates the decompressor over data (which must outlive the session) with the limits.
    void begin(const QByteArray &data);
    // Destroys the decompressor; safe to call twice and after a failure.
    void end();
};
