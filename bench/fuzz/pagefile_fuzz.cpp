// libFuzzer target for page files of one kind (built with PAGE_FORMAT_JPEG or PAGE_FORMAT_PNG):
// every input, with the kind's signature put in front, goes through the check before a page
// is stored; every input it accepts then through the build's reading of the file and the PDF
// engine library's encoding of it. One that passes the check and fails the build, or passes
// the check and fails the cheap stored-page check, ends the run (abort), so libFuzzer keeps
// it as a crash. Half the PNG inputs have their chunks' CRCs made right first, so that they
// reach the decoding. Memory and time per input are bounded by libFuzzer's -rss_limit_mb,
// -malloc_limit_mb and -timeout.
#include "pagedecoders.h"
#include "pdfe.h"

#include <cstdio>
#include <cstdlib>
#include <zlib.h>

namespace {

#if defined(PAGE_FORMAT_JPEG)
const QByteArray Signature("\xFF\xD8\xFF", 3);
#elif defined(PAGE_FORMAT_PNG)
const QByteArray Signature("\x89PNG\r\n\x1A\n", 8);
#else
#error "PAGE_FORMAT_JPEG or PAGE_FORMAT_PNG"
#endif

#if defined(PAGE_FORMAT_PNG)
// Every chunk's CRC made right, so that mutations get past the CRC checks into libpng's
// reading; done for inputs of an even length, the others keep their CRCs as they come.
void fixChunkCrcs(QByteArray &bytes)
{
    auto *p = reinterpret_cast<unsigned char *>(bytes.data());
    for (qsizetype at = Signature.size(); bytes.size() - at >= 12;) {
        const qsizetype length = (qsizetype(p[at]) << 24) | (p[at + 1] << 16) | (p[at + 2] << 8) | p[at + 3];
        if (length > bytes.size() - at - 12)
            return;
        const uLong crc = crc32(0, p + at + 4, uInt(length + 4));
        for (int i = 0; i < 4; ++i)
            p[at + 8 + length + i] = static_cast<unsigned char>(crc >> (24 - 8 * i));
        at += 12 + length;
    }
}
#endif

[[noreturn]] void checkedButNot(const char *what, const QString &reason)
{
    std::fprintf(stderr, "passes the check before storing, but %s: %s\n", what, qPrintable(reason));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!bytes.startsWith(Signature))
        bytes.prepend(Signature);
#if defined(PAGE_FORMAT_PNG)
    if (size % 2 == 0)
        fixChunkCrcs(bytes);
#endif
    const PageImageInfo info = InspectPageImage(bytes, PageReading::Whole);
    if (!info.usable())
        return 0;
    if (const PageImageInfo quick = InspectPageImage(bytes, PageReading::Headers); !quick.usable())
        checkedButNot("not the stored-page check", quick.reason);
    std::unique_ptr<PageBitmap> bitmap;
    try {
        bitmap = DecodePageBitmap(bytes, QStringLiteral("input"), {});
    } catch (const AppError &e) {
        checkedButNot("the build cannot read it", e.message());
    }
    const PDFE_Bitmap handle = bitmap->handle();
    char reason[512] = {};
    void *image = PDFE_EncodeImage(&handle, reason, sizeof reason);
    if (!image)
        checkedButNot("the PDF engine library cannot encode it", QString::fromUtf8(reason));
    PDFE_FreeImage(image);
    return 0;
}
