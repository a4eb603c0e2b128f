#include "jpegtranscode.h"

#include "jpegsession.h"

#include <jerror.h>

#include <cstdlib>

namespace {

// The written file in memory. The buffer is only ever the one held here, also when libjpeg
// jumps out of the writing (jpeg_mem_dest frees the buffers it outgrows without telling).
struct OutputBuffer
{
    jpeg_destination_mgr manager{}; // first: libjpeg hands it back as the whole
    unsigned char *buffer = nullptr; // malloc
    size_t capacity = 0;

    size_t Size() const { return capacity - manager.free_in_buffer; }

    static OutputBuffer &of(j_compress_ptr cinfo) { return *reinterpret_cast<OutputBuffer *>(cinfo->dest); }
    static void grow(j_compress_ptr cinfo, size_t capacity)
    {
        OutputBuffer &out = of(cinfo);
        auto *grown = static_cast<unsigned char *>(std::realloc(out.buffer, capacity));
        if (!grown)
            ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
        out.manager.next_output_byte = grown + out.capacity;
        out.manager.free_in_buffer = capacity - out.capacity;
        out.buffer = grown;
        out.capacity = capacity;
    }
    static void start(j_compress_ptr cinfo) { grow(cinfo, 64 * 1024); }
    static boolean full(j_compress_ptr cinfo)
    {
        grow(cinfo, of(cinfo).capacity * 2);
        return TRUE;
    }
    static void end(j_compress_ptr) {}

    OutputBuffer()
    {
        manager.init_destination = start;
        manager.empty_output_buffer = full;
        manager.term_destination = end;
    }
    ~OutputBuffer() { std::free(buffer); }
    OutputBuffer(const OutputBuffer &) = delete;
    OutputBuffer &operator=(const OutputBuffer &) = delete;
};

// What the transcoding changes while libjpeg may jump out of it.
struct Transcoding
{
    JpegSession session;
    jpeg_compress_struct output{};
    bool outputStarted = false;
    OutputBuffer out;

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
    t.output.dest = &t.out.manager;
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
        out = QByteArray(reinterpret_cast<const char *>(t.out.buffer), qsizetype(t.out.Size()));
    return done ? QString() : QString::fromLatin1(t.session.message);
}
