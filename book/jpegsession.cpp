#include "jpegsession.h"

namespace {

JpegSession &sessionOf(j_common_ptr cinfo)
{
    return *static_cast<JpegSession *>(cinfo->client_data);
}

[[noreturn]] void fail(j_common_ptr cinfo)
{
    JpegSession &s = sessionOf(cinfo);
    (*cinfo->err->format_message)(cinfo, s.message);
    const int code = cinfo->err->msg_code;
    s.tooLarge = code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE;
    std::longjmp(s.jump, 1);
}

// Warnings (level -1) that the picture is made up where the data is damaged end the
// reading; trace messages (levels 0 and up) are dropped.
void warn(j_common_ptr cinfo, int level)
{
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA: // stray bytes before a marker, skipped
    case JWRN_JFIF_MAJOR:      // a JFIF revision of the future: the picture is the same
    case JWRN_ADOBE_XFORM:     // an unknown transform code is taken as YCbCr, as browsers do
    case JWRN_BOGUS_ICC:       // the profile is read on its own elsewhere
        return;
    default:
        fail(cinfo);
    }
}

void watchScans(j_common_ptr cinfo)
{
    if (cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > JpegSession::MaxScans) {
        JpegSession &s = sessionOf(cinfo);
        std::snprintf(s.message, sizeof s.message, "more than %d scans", JpegSession::MaxScans);
        std::longjmp(s.jump, 1);
    }
}

} // namespace

void JpegSession::begin(const QByteArray &data)
{
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = fail;
    errors.emit_message = warn;
    cinfo.client_data = this; // kept by jpeg_create_decompress
    started = true;
    jpeg_create_decompress(&cinfo);
    cinfo.mem->max_memory_to_use = MaxMemory;
    progress.progress_monitor = watchScans;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(data.constData()), static_cast<unsigned long>(data.size()));
}

void JpegSession::end()
{
    if (started)
        jpeg_destroy_decompress(&cinfo);
    started = false;
}
