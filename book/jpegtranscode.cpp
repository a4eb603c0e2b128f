#include "jpegtranscode.h"

#include "jpegsession.h"

#include <cstdlib>

namespace {

// What the transcoding changes while libjpeg may jump out of it.
struct Transcoding
{
    JpegSession session;
    jpeg_compress_struct output{};
    bool outputStarted = false;
    unsigned char *buffer = nullptr; // jpeg_mem_dest's, malloc
    unsigned long size = 0;

    void finish()
    {
        if (outputStarted)
            jpeg_destroy_compress(&output);
        outputStarted = false;
        session.end();
    }
};

bool transcode(Transcoding &t, const QByteArray &data)
{
    if (setjmp(t.session.jump)) {
        t.finish();
        return false;
    }
    t.session.begin(data);
    jpeg_decompress_struct &input = t.session.cinfo;
    jpeg_read_header(&input, TRUE);
    jvirt_barray_ptr *coefficients = jpeg_read_coefficients(&input);
    // Errors of the writing end the same way as those of the reading.
    t.output.err = input.err;
    t.output.client_data = &t.session;
    t.outputStarted = true;
    jpeg_create_compress(&t.output);
    t.output.mem->max_memory_to_use = JpegSession::MaxMemory;
    jpeg_mem_dest(&t.output, &t.buffer, &t.size);
    jpeg_copy_critical_parameters(&input, &t.output);
    t.output.arith_code = FALSE;
    // The markers by which readers tell the colour space (RGB from YCbCr, CMYK from YCCK)
    // and Adobe's inverted CMYK: as the original has them.
    t.output.write_JFIF_header = input.saw_JFIF_marker;
    t.output.write_Adobe_marker = input.saw_Adobe_marker;
    t.output.optimize_coding = TRUE;
    jpeg_write_coefficients(&t.output, coefficients);
    jpeg_finish_compress(&t.output);
    jpeg_finish_decompress(&input);
    t.finish();
    return true;
}

} // namespace

QString HuffmanCodedJpeg(const QByteArray &data, QByteArray &out)
{
    Transcoding t;
    const bool done = transcode(t, data);
    if (done)
        out = QByteArray(reinterpret_cast<const char *>(t.buffer), qsizetype(t.size));
    std::free(t.buffer);
    return done ? QString() : QString::fromLatin1(t.session.message);
}
