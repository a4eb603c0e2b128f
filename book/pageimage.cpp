#include "pageimage.h"

#include "pagedecoders.h"

#include <QFile>

namespace {

constexpr unsigned char PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

PageImageInfo refused(const QString &reason)
{
    PageImageInfo info;
    info.reason = reason;
    return info;
}

} // namespace

PageImageInfo::Kind PageFileKind(const QByteArray &bytes, QString *reason)
{
    if (bytes.isEmpty()) {
        *reason = QStringLiteral("no image data");
        return PageImageInfo::Kind::None;
    }
    PageImageInfo::Kind kind = PageImageInfo::Kind::None;
    if (bytes.startsWith(QByteArray::fromRawData(reinterpret_cast<const char *>(PngSignature), sizeof PngSignature)))
        kind = PageImageInfo::Kind::Png;
    else if (bytes.startsWith("\xFF\xD8\xFF"))
        kind = PageImageInfo::Kind::Jpeg;
    if (kind == PageImageInfo::Kind::None)
        *reason = QStringLiteral("neither a PNG nor a JPEG image");
    else if (bytes.size() < MinPageFileSize)
        *reason = QStringLiteral("its %1 bytes are fewer than a page image has").arg(bytes.size());
    else
        return kind;
    return PageImageInfo::Kind::None;
}

PageImageInfo InspectPageImage(const QByteArray &bytes, PageReading reading)
{
    QString reason;
    const PageImageInfo::Kind kind = PageFileKind(bytes, &reason);
    if (kind == PageImageInfo::Kind::None)
        return refused(reason);
    PageImageInfo info;
    reason = kind == PageImageInfo::Kind::Png ? CheckPngPage(bytes, reading, info) : CheckJpegPage(bytes, reading, info);
    if (!reason.isEmpty())
        return refused(reason);
    info.kind = kind;
    return info;
}

QString PageFileFault(const QString &path, PageReading reading)
{
    QByteArray bytes;
    if (const QString reason = ReadPageFile(path, &bytes); !reason.isEmpty())
        return reason;
    return InspectPageImage(bytes, reading).reason;
}
