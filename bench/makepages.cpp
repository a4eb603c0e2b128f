// makepages KIND COUNT FOLDER [WIDTH HEIGHT]
// Writes COUNT page files 0001.jpg ... like the ones the program stores: opaque RGBA PNGs as
// a canvas exports them (KIND gray, tinted, bw, photo) or JFIF JPEGs (KIND jpeg; KIND profiled:
// each with an sRGB ICC profile of its own, made 8 MB large by a private tag, as some cameras'
// and editors' profiles are large).
#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTextStream>

namespace {

const char *Words[] = {"the", "library", "of", "pages", "quill", "moor", "and", "a", "book", "scanned",
                       "river", "winter", "letters", "from", "chapter", "which", "had", "been", "long", "ago"};

void drawText(QImage &image, QRandomGenerator &rng, const QColor &ink, bool antialias)
{
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing, antialias);
    p.setRenderHint(QPainter::Antialiasing, antialias);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(34);
    font.setStyleStrategy(antialias ? QFont::PreferAntialias : QFont::NoAntialias);
    p.setFont(font);
    p.setPen(ink);
    for (int y = 180; y < image.height() - 160; y += 52) {
        QString line;
        while (line.size() < 70)
            line += QLatin1String(Words[rng.bounded(20)]) + QLatin1Char(' ');
        p.drawText(150, y, line);
    }
}

void addNoise(QImage &image, QRandomGenerator &rng, int amount)
{
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int n = int(rng.bounded(2 * amount + 1)) - amount;
            const QRgb c = row[x];
            row[x] = qRgba(qBound(0, qRed(c) + n, 255), qBound(0, qGreen(c) + n, 255), qBound(0, qBlue(c) + n, 255), 255);
        }
    }
}

QImage page(const QString &kind, int index, int width, int height)
{
    QRandomGenerator rng(quint32(index * 7919 + 13));
    QImage image(width, height, QImage::Format_ARGB32);
    if (kind == QLatin1String("bw")) {
        image.fill(Qt::white);
        drawText(image, rng, Qt::black, false);
    } else if (kind == QLatin1String("gray")) {
        image.fill(QColor(238, 238, 238));
        drawText(image, rng, QColor(40, 40, 40), true);
        addNoise(image, rng, 3);
        // keep it gray: copy red into green and blue
        for (int y = 0; y < height; ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                row[x] = qRgba(qRed(row[x]), qRed(row[x]), qRed(row[x]), 255);
        }
    } else if (kind == QLatin1String("tinted") || kind == QLatin1String("jpeg") || kind == QLatin1String("profiled")) {
        image.fill(QColor(242, 232, 208));
        drawText(image, rng, QColor(70, 45, 25), true);
        addNoise(image, rng, 3);
    } else { // photo
        QPainter p(&image);
        QLinearGradient g(0, 0, width, height);
        g.setColorAt(0, QColor::fromHsv(int(rng.bounded(360)), 180, 220));
        g.setColorAt(1, QColor::fromHsv(int(rng.bounded(360)), 200, 90));
        p.fillRect(image.rect(), g);
        for (int i = 0; i < 40; ++i) {
            QRadialGradient r(rng.bounded(width), rng.bounded(height), 100 + rng.bounded(300));
            r.setColorAt(0, QColor::fromHsv(int(rng.bounded(360)), 160, 240, 180));
            r.setColorAt(1, QColor(0, 0, 0, 0));
            p.fillRect(image.rect(), r);
        }
        p.end();
        addNoise(image, rng, 6);
    }
    return image;
}

void putBigEndian32(QByteArray &bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

quint32 bigEndian32(const QByteArray &bytes, qsizetype at)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | uchar(bytes[at + i]);
    return value;
}

// Qt's sRGB profile with one more tag, a private one of about 8 MB that differs for each page.
QByteArray largeProfile(int page)
{
    const QByteArray srgb = QColorSpace(QColorSpace::SRgb).iccProfile();
    const quint32 tags = bigEndian32(srgb, 128);
    // One more entry in the tag table moves every tag's data 12 bytes on.
    QByteArray profile = srgb.left(132 + 12 * tags);
    for (quint32 i = 0; i < tags; ++i)
        putBigEndian32(profile, 132 + 12 * i + 4, bigEndian32(srgb, 132 + 12 * i + 4) + 12);
    putBigEndian32(profile, 128, tags + 1);
    QByteArray entry("zzzz\0\0\0\0\0\0\0\0", 12);
    profile += entry + srgb.mid(132 + 12 * tags);
    const qsizetype padding = 8 * 1000 * 1000;
    putBigEndian32(profile, 132 + 12 * tags + 4, quint32(profile.size()));
    putBigEndian32(profile, 132 + 12 * tags + 8, quint32(padding));
    QByteArray data(padding, '\0');
    for (qsizetype i = 0; i < padding; i += 4)
        putBigEndian32(data, i, quint32(page * 2654435761u + quint32(i)));
    profile += data;
    putBigEndian32(profile, 0, quint32(profile.size()));
    return profile;
}

// The JPEG with the profile in APP2 segments right after its start of image marker.
QByteArray withProfile(const QByteArray &jpeg, const QByteArray &profile)
{
    constexpr int Chunk = 65519;
    const int count = int((profile.size() + Chunk - 1) / Chunk);
    QByteArray segments;
    for (int i = 0; i < count; ++i) {
        const QByteArray content = QByteArray("ICC_PROFILE\0", 12) + char(i + 1) + char(count) + profile.mid(qsizetype(i) * Chunk, Chunk);
        const int length = int(content.size()) + 2;
        segments += QByteArray("\xFF\xE2", 2) + char(length >> 8) + char(length & 0xFF) + content;
    }
    return jpeg.left(2) + segments + jpeg.mid(2);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 4) {
        QTextStream(stderr) << "usage: makepages gray|tinted|bw|photo|jpeg|profiled COUNT FOLDER [WIDTH HEIGHT]\n";
        return 2;
    }
    const QString kind = QString::fromLocal8Bit(argv[1]);
    const int count = QString::fromLocal8Bit(argv[2]).toInt();
    const QString folder = QString::fromLocal8Bit(argv[3]);
    const int width = argc > 5 ? QString::fromLocal8Bit(argv[4]).toInt() : 1700;
    const int height = argc > 5 ? QString::fromLocal8Bit(argv[5]).toInt() : 2400;
    QDir().mkpath(folder);
    for (int i = 1; i <= count; ++i) {
        const QImage image = page(kind, i, width, height);
        const QString path = folder + QString::asprintf("/%.4d.jpg", i);
        if (kind == QLatin1String("jpeg")) {
            image.convertToFormat(QImage::Format_RGB32).save(path, "JPG", 85);
        } else if (kind == QLatin1String("profiled")) {
            QByteArray jpeg;
            QBuffer buffer(&jpeg);
            buffer.open(QIODevice::WriteOnly);
            image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPG", 85);
            QFile file(path);
            if (!file.open(QIODevice::WriteOnly) || file.write(withProfile(jpeg, largeProfile(i))) < 0)
                return 1;
        } else
            image.save(path, "PNG");
    }
    return 0;
}
