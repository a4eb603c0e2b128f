#include "recognitionimage.h"

#include "jpegdecode.h"
#include "jpegstructure.h"
#include "pagebitmap.h"
#include "pagedecoders.h"

#include <QBuffer>
#include <QImageReader>
#include <QTransform>

QImage ShownUpright(const QImage &stored, int orientation)
{
    // EXIF 2.3, the Orientation tag: mirrored, turned half round, or turned a quarter (5 to 7
    // clockwise, 8 anticlockwise) and then mirrored (5, 7).
    switch (orientation) {
    case 2: return stored.mirrored(true, false);
    case 3: return stored.mirrored(true, true);
    case 4: return stored.mirrored(false, true);
    case 5: return stored.transformed(QTransform().rotate(90)).mirrored(true, false);
    case 6: return stored.transformed(QTransform().rotate(90));
    case 7: return stored.transformed(QTransform().rotate(90)).mirrored(false, true);
    case 8: return stored.transformed(QTransform().rotate(270));
    default: return stored;
    }
}

QImage RecognitionImage(const QString &pageFile, QString *reason)
{
    QByteArray bytes;
    if (const QString fault = ReadPageFile(pageFile, &bytes); !fault.isEmpty()) {
        *reason = fault;
        return {};
    }
    switch (PageFileKind(bytes, reason)) {
    case PageImageInfo::Kind::Jpeg: {
        JpegFrame frame;
        if (const QString fault = CheckJpegStructure(bytes, frame); !fault.isEmpty()) {
            *reason = fault;
            return {};
        }
        const QImage stored = DecodeJpegGray(JpegImageBytes(bytes, frame), MaxPagePixels, reason);
        return stored.isNull() ? stored : ShownUpright(stored, frame.orientation);
    }
    case PageImageInfo::Kind::Png: {
        QBuffer buffer(&bytes);
        QImageReader reader(&buffer, "png");
        const QSize size = reader.size();
        if (size.isValid() && qint64(size.width()) * size.height() > MaxPagePixels) {
            *reason = TooLargeReason(size.width(), size.height());
            return {};
        }
        const QImage image = reader.read();
        if (image.isNull())
            *reason = reader.errorString();
        return image;
    }
    case PageImageInfo::Kind::None:
        break;
    }
    return {};
}
