// The PDF engine library through its C entry points: how each kind of page is coded, that it
// decodes back exactly and renders with the right colours in independent readers, and how
// failures are reported.
#include "pagefixtures.h"
#include "pdfcheck.h"
#include "pdfe.h"
#include "testenv.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <jpeglib.h>
#include <sys/resource.h>
#include <thread>

namespace {

// An image as the program hands it over: 8-bit samples of one of the engine's formats.
struct Pixels
{
    int width = 0, height = 0, format = PDFE_RGBA8, bytesPerRow = 0;
    std::vector<std::uint8_t> bytes;
    QByteArray jpeg;
    int jpegComponents = 0, jpegAdobeInverted = 0;
    QByteArray palette, paletteAlpha;
    int grayKey = -1;

    PDFE_Bitmap bitmap() const
    {
        PDFE_Bitmap b{};
        b.width = width;
        b.height = height;
        b.bytesPerRow = bytesPerRow;
        b.format = format;
        b.pixels = bytes.empty() ? nullptr : bytes.data();
        b.jpeg = jpeg.isEmpty() ? nullptr : reinterpret_cast<const std::uint8_t *>(jpeg.constData());
        b.jpegSize = std::size_t(jpeg.size());
        b.jpegComponents = jpegComponents;
        b.jpegAdobeInverted = jpegAdobeInverted;
        b.palette = palette.isEmpty() ? nullptr : reinterpret_cast<const std::uint8_t *>(palette.constData());
        b.paletteCount = int32_t(palette.size() / 3);
        b.paletteAlpha = paletteAlpha.isEmpty() ? nullptr : reinterpret_cast<const std::uint8_t *>(paletteAlpha.constData());
        b.grayKeyed = grayKey >= 0 ? 1 : 0;
        b.grayKey = std::max(grayKey, 0);
        return b;
    }
};

// format PDFE_GRAY8 takes the red samples, PDFE_RGB8 red, green and blue, the alpha formats
// add alpha; rows are padded to a multiple of 4 bytes, as a program's bitmaps often are.
Pixels fromImage(const QImage &source, int format)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int channels = format == PDFE_GRAY8 ? 1 : format == PDFE_GRAYA8 ? 2 : format == PDFE_RGB8 ? 3 : 4;
    Pixels p;
    p.width = image.width();
    p.height = image.height();
    p.format = format;
    p.bytesPerRow = (p.width * channels + 3) / 4 * 4;
    p.bytes.assign(std::size_t(p.bytesPerRow) * p.height, 0);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const QRgb c = image.pixel(x, y);
            std::uint8_t *o = p.bytes.data() + std::size_t(p.bytesPerRow) * y + std::size_t(x) * channels;
            const std::uint8_t samples[4] = {std::uint8_t(qRed(c)), std::uint8_t(qGreen(c)), std::uint8_t(qBlue(c)), std::uint8_t(qAlpha(c))};
            if (channels <= 2) {
                o[0] = samples[0];
                if (channels == 2)
                    o[1] = samples[3];
            } else {
                std::memcpy(o, samples, std::size_t(channels));
            }
        }
    }
    return p;
}

// A scanned text page: words in lines, drawn without smoothing when bilevel.
QImage textPage(int width, int height, QColor paper, QColor ink, bool smooth, int noise = 0)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(paper);
    QRandomGenerator rng(7);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, smooth);
        p.setRenderHint(QPainter::TextAntialiasing, smooth);
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(22);
        font.setStyleStrategy(smooth ? QFont::PreferAntialias : QFont::NoAntialias);
        p.setFont(font);
        p.setPen(ink);
        const char *words[] = {"quill", "moor", "river", "letters", "winter", "chapter", "the", "of", "book"};
        for (int y = 60; y < height - 40; y += 32) {
            QString line;
            while (line.size() < width / 14)
                line += QLatin1String(words[rng.bounded(9)]) + QLatin1Char(' ');
            p.drawText(40, y, line);
        }
    }
    for (int y = 0; noise && y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(rng.bounded(2 * noise + 1)) - noise;
            row[x] = qRgba(qBound(0, qRed(row[x]) + n, 255), qBound(0, qGreen(row[x]) + n, 255), qBound(0, qBlue(row[x]) + n, 255), qAlpha(row[x]));
        }
    }
    return image;
}

// Black-and-white text as a scanner thresholds it: smoothed glyphs with grain cut at
// mid-gray, so that their edges are ragged and no two copies of a word are alike.
QImage scannedBilevel(int width, int height)
{
    QImage image = textPage(width, height, Qt::white, Qt::black, true, 60);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = qRed(row[x]) < 128 ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    }
    return image;
}

// A photograph-like image: overlapping soft colour patches and grain.
QImage photo(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator rng(11);
    QPainter p(&image);
    QLinearGradient g(0, 0, width, height);
    g.setColorAt(0, QColor(200, 120, 40));
    g.setColorAt(1, QColor(20, 60, 140));
    p.fillRect(image.rect(), g);
    for (int i = 0; i < 12; ++i) {
        QRadialGradient r(rng.bounded(width), rng.bounded(height), 40 + rng.bounded(120));
        r.setColorAt(0, QColor::fromHsv(int(rng.bounded(360)), 160, 240, 180));
        r.setColorAt(1, QColor(0, 0, 0, 0));
        p.fillRect(image.rect(), r);
    }
    p.end();
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int n = int(rng.bounded(13)) - 6;
            row[x] = qRgb(qBound(0, qRed(row[x]) + n, 255), qBound(0, qGreen(row[x]) - n, 255), qBound(0, qBlue(row[x]) + n / 2, 255));
        }
    }
    return image;
}

// Samples of a CMYK page, four quadrants: paper (no ink), cyan, magenta with yellow (red)
// and black.
struct Ink
{
    std::uint8_t c, m, y, k;
};
constexpr Ink Quadrants[4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 255, 255, 0}, {0, 0, 0, 255}};

// A 4-component JPEG written by libjpeg: CMYK or YCCK, with Adobe's marker and inverted
// samples as Adobe's programs write them, or plain CMYK without the marker.
QByteArray cmykJpeg(int size, J_COLOR_SPACE stored, bool adobe)
{
    return PageFixtures::libjpegWritten(
        size, size, 4, JCS_CMYK,
        [&](jpeg_compress_struct &cinfo) {
            jpeg_set_colorspace(&cinfo, stored);
            cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
            jpeg_set_quality(&cinfo, 95, TRUE);
        },
        [&](int y, JSAMPLE *row) {
            for (int x = 0; x < size; ++x) {
                const Ink &ink = Quadrants[(y < size / 2 ? 0 : 2) + (x < size / 2 ? 0 : 1)];
                const std::uint8_t s[4] = {ink.c, ink.m, ink.y, ink.k};
                for (int i = 0; i < 4; ++i)
                    row[std::size_t(x) * 4 + i] = adobe ? JSAMPLE(255 - s[i]) : JSAMPLE(s[i]);
            }
        });
}

// The library's messages of one document.
struct Messages
{
    QStringList lines;
    static void PDFE_CALL receive(void *context, int32_t, const char *message)
    {
        static_cast<Messages *>(context)->lines << QString::fromUtf8(message);
    }
};

// One document of one page showing the bitmap (or an image from PDFE_EncodeImage) at 72
// pixels per inch, so that one pixel is one point. The first action that fails and the
// messages are kept.
struct Document
{
    Messages messages;
    QString failedAction;

    bool write(const QByteArray &path, const Pixels &pixels, bool encodeAhead)
    {
        void *engine = PDFE_Initialize(0, 0, 0, 1, &Messages::receive, &messages);
        const PDFE_Bitmap bitmap = pixels.bitmap();
        void *image = nullptr;
        if (encodeAhead) {
            char error[200] = {};
            image = PDFE_EncodeImage(&bitmap, error, sizeof error);
            if (!image)
                messages.lines << QString::fromUtf8(error);
        }
        auto act = [&](int action, void *pointer, const char *name) {
            if (failedAction.isEmpty() && PDFE_Action(engine, action, 0, pointer) != 0)
                failedAction = QLatin1String(name);
        };
        QByteArray target = path;
        act(PDFE_BEGINDOC, target.data(), "BeginDoc");
        TPDFE_InitRec page{};
        page.pagew = pixels.width;
        page.pageh = pixels.height;
        page.xres = page.yres = 72;
        PDFE_InitializePage(engine, 0, &page);
        act(PDFE_STARTPAGE, nullptr, "StartPage");
        TPDFE_DrawRec draw{};
        draw.w = pixels.width;
        draw.h = pixels.height;
        draw.bitmap = encodeAhead ? static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(image))
                                  : static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(&bitmap));
        if (!encodeAhead || image)
            act(encodeAhead ? PDFE_DRAWIMAGE : PDFE_DRAWBITMAP, &draw, "DrawBitmap");
        else if (failedAction.isEmpty())
            failedAction = QStringLiteral("EncodeImage");
        act(PDFE_ENDPAGE, nullptr, "EndPage");
        act(PDFE_ENDDOC, nullptr, "EndDoc");
        act(PDFE_WRITEDOC, target.data(), "WriteDoc");
        PDFE_Action(engine, PDFE_CLOSEDOC, 0, nullptr);
        PDFE_Finalize(engine);
        PDFE_FreeImage(image);
        return failedAction.isEmpty();
    }
};

// The first (only) page rendered at one pixel per point, by poppler or MuPDF.
QImage render(const QString &pdf, const QString &renderer, const QString &folder)
{
    const QString out = folder + QLatin1Char('/') + renderer;
    if (renderer == QLatin1String("pdftoppm")) {
        PdfCheck::run(renderer, {QStringLiteral("-r"), QStringLiteral("72"), QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, out});
    } else {
        PdfCheck::run(QStringLiteral("mutool"), {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("72"),
                                                 QStringLiteral("-o"), out + QStringLiteral(".png"), pdf, QStringLiteral("1")});
    }
    return QImage(out + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

// Where two images differ, or empty when they are equal (alpha of the expected image is
// compared with mask when given).
QString difference(const QImage &expected, const QImage &got, const QImage &mask = QImage())
{
    if (expected.size() != got.size())
        return QStringLiteral("size %1x%2").arg(got.width()).arg(got.height());
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb e = expected.pixel(x, y), g = got.pixel(x, y);
            const bool colourShown = qAlpha(e) != 0;
            if ((colourShown && (e & 0xFFFFFF) != (g & 0xFFFFFF)) || (!mask.isNull() && qAlpha(e) != qRed(mask.pixel(x, y))))
                return QStringLiteral("pixel %1,%2 is %3, expected %4").arg(x).arg(y).arg(g, 8, 16).arg(e, 8, 16);
        }
    }
    return {};
}

} // namespace

class TestConverter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void losslessPages_data();
    void losslessPages();
    void blackWhitePageAsFax_data();
    void blackWhitePageAsFax();
    void packedBitmaps_data();
    void packedBitmaps();
    void cmykJpegColours_data();
    void cmykJpegColours();
    void failureReasons_data();
    void failureReasons();
    void absurdBitmapsRefused_data();
    void absurdBitmapsRefused();
    void encodesOnSeveralThreads();

private:
    QString path(const QString &name) const { return scratch.path() + QLatin1Char('/') + name; }
    QTemporaryDir scratch;
};

void TestConverter::initTestCase()
{
    QVERIFY(scratch.isValid());
}

void TestConverter::losslessPages_data()
{
    QTest::addColumn<QImage>("image");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<int>("bitsPerComponent");
    QTest::addColumn<bool>("encodeAhead");
    QTest::newRow("gray text with grain") << textPage(900, 1300, QColor(236, 236, 236), QColor(35, 35, 35), true, 3) << int(PDFE_RGBA8)
                                          << "gray" << 8 << true;
    QTest::newRow("tinted text") << textPage(700, 1000, QColor(242, 232, 208), QColor(70, 45, 25), true, 2) << int(PDFE_RGB8) << "rgb" << 8
                                 << false;
    QTest::newRow("photo") << photo(640, 800) << int(PDFE_RGB8) << "rgb" << 8 << true;
    QTest::newRow("gray bitmap, odd width") << textPage(333, 401, Qt::white, Qt::darkGray, true) << int(PDFE_GRAY8) << "gray" << 8 << false;
    QTest::newRow("black and white, odd width") << textPage(1001, 1203, Qt::white, Qt::black, false) << int(PDFE_GRAY8) << "gray" << 1
                                                << true;
    QTest::newRow("tiny black and white") << textPage(13, 7, Qt::white, Qt::black, false) << int(PDFE_RGBA8) << "gray" << 1 << false;
    QImage translucent = photo(300, 200);
    for (int y = 0; y < translucent.height(); ++y)
        for (int x = 0; x < translucent.width(); ++x)
            if ((x / 20 + y / 20) % 2)
                translucent.setPixel(x, y, qRgba(qRed(translucent.pixel(x, y)), 10, 20, (x + y) % 256));
    QTest::newRow("transparency") << translucent << int(PDFE_RGBA8) << "rgb" << 8 << true;
}

void TestConverter::losslessPages()
{
    QFETCH(QImage, image);
    QFETCH(int, format);
    QFETCH(QString, colour);
    QFETCH(int, bitsPerComponent);
    QFETCH(bool, encodeAhead);
    const Pixels pixels = fromImage(image, format);
    const QString pdf = path(QStringLiteral("lossless-%1.pdf").arg(QTest::currentDataTag()));
    Document document;
    QVERIFY2(document.write(QFile::encodeName(pdf), pixels, encodeAhead), qPrintable(document.messages.lines.join('|')));
    QVERIFY(PdfCheck::qpdfCheck(pdf));

    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, path(QStringLiteral("lossless-%1").arg(QTest::currentDataTag())));
    const bool masked = format == PDFE_RGBA8 && image.convertToFormat(QImage::Format_ARGB32).hasAlphaChannel()
                        && QTest::currentDataTag() == QLatin1String("transparency");
    QCOMPARE(images.size(), masked ? 2 : 1);
    QCOMPARE(images[0].color, colour);
    QCOMPARE(images[0].bpc, bitsPerComponent);
    QImage expected = image.convertToFormat(QImage::Format_ARGB32);
    if (format == PDFE_GRAY8) {
        for (int y = 0; y < expected.height(); ++y)
            for (int x = 0; x < expected.width(); ++x)
                expected.setPixel(x, y, qRgb(qRed(expected.pixel(x, y)), qRed(expected.pixel(x, y)), qRed(expected.pixel(x, y))));
    }
    const QImage got = QImage(images[0].file).convertToFormat(QImage::Format_ARGB32);
    const QImage mask = masked ? QImage(images[1].file).convertToFormat(QImage::Format_ARGB32) : QImage();
    const QString different = difference(expected, got, mask);
    QVERIFY2(different.isEmpty(), qPrintable(different));
}

void TestConverter::blackWhitePageAsFax_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("palette");
    QTest::newRow("8-bit samples") << int(PDFE_RGBA8) << QByteArray();
    QTest::newRow("packed gray") << int(PDFE_GRAY1) << QByteArray();
    QTest::newRow("palette of black and white") << int(PDFE_INDEXED1) << QByteArray("\0\0\0\xFF\xFF\xFF", 6);
    QTest::newRow("palette of white and black") << int(PDFE_INDEXED1) << QByteArray("\xFF\xFF\xFF\0\0\0", 6);
}

void TestConverter::blackWhitePageAsFax()
{
    QFETCH(int, format);
    QFETCH(QByteArray, palette);
    const QImage page = scannedBilevel(1240, 1754);
    Pixels pixels = fromImage(page, PDFE_RGBA8);
    if (format != PDFE_RGBA8) {
        // 1 bit a pixel: white is 1 for gray, else the palette's index of white.
        const int white = palette.startsWith('\xFF') ? 0 : 1;
        pixels.format = format;
        pixels.palette = palette;
        pixels.bytesPerRow = (page.width() + 7) / 8;
        pixels.bytes.assign(std::size_t(pixels.bytesPerRow) * page.height(), 0);
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if ((qRed(page.pixel(x, y)) != 0) == (white == 1))
                    pixels.bytes[std::size_t(pixels.bytesPerRow) * y + x / 8] |= std::uint8_t(0x80 >> (x % 8));
    }
    const QString pdf = path(QStringLiteral("fax-%1.pdf").arg(qHash(QTest::currentDataTag())));
    Document document;
    QVERIFY(document.write(QFile::encodeName(pdf), pixels, false));
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, path(QStringLiteral("fax-%1").arg(qHash(QTest::currentDataTag()))));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images[0].encoding, QStringLiteral("ccitt"));
    QCOMPARE(images[0].bpc, 1);
    QString different = difference(page, QImage(images[0].file).convertToFormat(QImage::Format_RGB32));
    QVERIFY2(different.isEmpty(), qPrintable(different));
    // Rendered at one pixel per pixel, a pixel is dark where the page is black. MuPDF
    // draws the image exactly; poppler softens 1-bit images (the same for Flate-coded ones),
    // so there only one pixel in ten may differ: a wrong polarity, row length or coding
    // would turn half of them or more.
    for (const QString &renderer : {QStringLiteral("mutool"), QStringLiteral("pdftoppm")}) {
        const QImage shown = render(pdf, renderer, scratch.path());
        QCOMPARE(shown.size(), page.size());
        qint64 wrong = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                wrong += (qGray(shown.pixel(x, y)) < 128) != (qRed(page.pixel(x, y)) == 0);
        const qint64 allowed = renderer == QLatin1String("mutool") ? 0 : qint64(page.width()) * page.height() / 10;
        QVERIFY2(wrong <= allowed, qPrintable(QStringLiteral("%1: %2 pixels differ").arg(renderer).arg(wrong)));
    }

    // The whole PDF is smaller than the same pixels as a 1-bit Flate image alone.
    QByteArray flate;
    {
        QBuffer buffer(&flate);
        buffer.open(QIODevice::WriteOnly);
        QImage mono = page.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
        QVERIFY(mono.save(&buffer, "PNG", 0)); // the strongest Flate Qt's PNG writer has
    }
    QVERIFY2(QFileInfo(pdf).size() < flate.size(), qPrintable(QStringLiteral("%1 >= %2").arg(QFileInfo(pdf).size()).arg(flate.size())));
}

void TestConverter::packedBitmaps_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("palette");      // red, green, blue of each entry
    QTest::addColumn<QByteArray>("paletteAlpha"); // one opacity an entry, or empty
    QTest::addColumn<int>("grayKey");
    QTest::addColumn<QString>("colour");          // as pdfimages lists the image
    QTest::addColumn<int>("bitsPerComponent");
    QTest::addColumn<int>("maskBits");            // of the soft mask; 0 for none

    const QByteArray none;
    QTest::newRow("gray, 1 bit") << int(PDFE_GRAY1) << none << none << -1 << "gray" << 1 << 0;
    QTest::newRow("gray, 2 bits, one value clear") << int(PDFE_GRAY2) << none << none << 1 << "gray" << 2 << 0;
    QTest::newRow("gray, 4 bits") << int(PDFE_GRAY4) << none << none << -1 << "gray" << 4 << 0;
    QTest::newRow("white and black palette, 1 bit") << int(PDFE_INDEXED1) << QByteArray("\xFF\xFF\xFF\0\0\0", 6) << none << -1
                                                    << "gray" << 1 << 0;
    QTest::newRow("palette, 1 bit, one entry clear") << int(PDFE_INDEXED1) << QByteArray("\xF0\xE0\xC0\x20\x30\x90", 6)
                                                     << QByteArray("\0\xFF", 2) << -1 << "index" << 1 << 0;
    QTest::newRow("palette, 2 bits, two entries clear together")
        << int(PDFE_INDEXED2) << QByteArray("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0", 12)
        << QByteArray("\xFF\0\0\xFF", 4) << -1 << "index" << 2 << 0;
    QTest::newRow("palette, 4 bits, clear entries apart")
        << int(PDFE_INDEXED4) << QByteArray(48, '\x55').replace(3, 3, "\xEE\x11\x22") << QByteArray("\0\xFF\0\xFF\xFF\0", 6) + QByteArray(10, '\xFF') << -1
        << "index" << 4 << 1;
    QByteArray ramp, translucent;
    for (int i = 0; i < 200; ++i) {
        ramp += char(i) + char(255 - i) + char(i / 2);
        translucent += char(i);
    }
    QTest::newRow("palette, 8 bits, translucent entries") << int(PDFE_INDEXED8) << ramp << translucent << -1 << "index" << 8 << 8;
    QTest::newRow("palette, 8 bits, indices past its end") << int(PDFE_INDEXED8) << ramp.left(30) << none << -1 << "index" << 8 << 0;
}

// Packed samples go into the PDF at their own depth, palette and transparency kept, and are
// drawn as they say.
void TestConverter::packedBitmaps()
{
    QFETCH(int, format);
    QFETCH(QByteArray, palette);
    QFETCH(QByteArray, paletteAlpha);
    QFETCH(int, grayKey);
    QFETCH(QString, colour);
    QFETCH(int, bitsPerComponent);
    QFETCH(int, maskBits);
    const int bits = format == PDFE_GRAY1 || format == PDFE_INDEXED1 ? 1 : format == PDFE_GRAY2 || format == PDFE_INDEXED2 ? 2
                     : format == PDFE_GRAY4 || format == PDFE_INDEXED4 ? 4 : 8;
    const bool indexed = format >= PDFE_INDEXED1;
    // An odd width, so that rows end inside a byte; rows padded to 4 bytes.
    Pixels pixels;
    pixels.width = 61;
    pixels.height = 23;
    pixels.format = format;
    pixels.bytesPerRow = ((pixels.width * bits + 7) / 8 + 3) / 4 * 4;
    pixels.bytes.assign(std::size_t(pixels.bytesPerRow) * pixels.height, 0xA5); // padding that must not show
    pixels.palette = palette;
    pixels.paletteAlpha = paletteAlpha;
    pixels.grayKey = grayKey;
    QImage expected(pixels.width, pixels.height, QImage::Format_ARGB32);
    QRandomGenerator rng(5);
    for (int y = 0; y < pixels.height; ++y) {
        std::uint8_t *row = pixels.bytes.data() + std::size_t(pixels.bytesPerRow) * y;
        std::memset(row, 0, std::size_t((pixels.width * bits + 7) / 8));
        for (int x = 0; x < pixels.width; ++x) {
            // Blocks of a value, so that the readers' smoothing stays inside them.
            const int v = int((x / 4 * 7 + y / 4 * 3 + int(rng.bounded(2))) % (1 << bits));
            row[x * bits / 8] |= std::uint8_t(v << (8 - bits - x * bits % 8));
            QRgb c;
            if (!indexed) {
                const int g = v * 255 / ((1 << bits) - 1);
                c = v == grayKey ? qRgba(0, 0, 0, 0) : qRgb(g, g, g);
            } else {
                const int a = v < paletteAlpha.size() ? uchar(paletteAlpha[v]) : 255;
                const uchar *e = reinterpret_cast<const uchar *>(palette.constData()) + 3 * v;
                c = v < palette.size() / 3 ? qRgba(e[0], e[1], e[2], a) : qRgb(0, 0, 0);
            }
            expected.setPixel(x, y, c);
        }
    }
    const QString name = QStringLiteral("packed-%1").arg(qHash(QTest::currentDataTag()));
    const QString pdf = path(name + QStringLiteral(".pdf"));
    Document document;
    QVERIFY2(document.write(QFile::encodeName(pdf), pixels, true), qPrintable(document.messages.lines.join('|')));
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, path(name));
    QCOMPARE(images.size(), maskBits ? 2 : 1);
    QCOMPARE(images[0].color, colour);
    QCOMPARE(images[0].bpc, bitsPerComponent);
    if (maskBits) {
        QCOMPARE(images[1].type, QStringLiteral("smask"));
        QCOMPARE(images[1].bpc, maskBits);
    }
    // Drawn at one pixel per point on a clear background; colours weighted by opacity.
    const QImage drawn = PdfCheck::renderWithPoppler(pdf, 1, expected.size(), path(name)).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage want = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(drawn.size(), want.size());
    for (int y = 0; y < want.height(); ++y) {
        for (int x = 0; x < want.width(); ++x) {
            const QRgb e = want.pixel(x, y), g = drawn.pixel(x, y);
            const bool near = std::abs(qRed(e) - qRed(g)) <= 2 && std::abs(qGreen(e) - qGreen(g)) <= 2
                              && std::abs(qBlue(e) - qBlue(g)) <= 2 && std::abs(qAlpha(e) - qAlpha(g)) <= 2;
            QVERIFY2(near, qPrintable(QStringLiteral("pixel %1,%2 is %3, expected %4").arg(x).arg(y).arg(g, 8, 16).arg(e, 8, 16)));
        }
    }
}

void TestConverter::cmykJpegColours_data()
{
    QTest::addColumn<int>("storedAs");
    QTest::addColumn<bool>("adobe");
    QTest::addColumn<QString>("renderer");
    for (const QString &renderer : {QStringLiteral("pdftoppm"), QStringLiteral("mutool")}) {
        QTest::addRow("CMYK, Adobe's inverted, %s", qPrintable(renderer)) << int(JCS_CMYK) << true << renderer;
        QTest::addRow("YCCK, Adobe's inverted, %s", qPrintable(renderer)) << int(JCS_YCCK) << true << renderer;
        QTest::addRow("CMYK, plain, %s", qPrintable(renderer)) << int(JCS_CMYK) << false << renderer;
    }
}

void TestConverter::cmykJpegColours()
{
    QFETCH(int, storedAs);
    QFETCH(bool, adobe);
    QFETCH(QString, renderer);
    constexpr int Size = 64;
    Pixels pixels;
    pixels.width = pixels.height = Size;
    pixels.jpeg = cmykJpeg(Size, J_COLOR_SPACE(storedAs), adobe);
    pixels.jpegComponents = 4;
    pixels.jpegAdobeInverted = adobe ? 1 : 0;
    const QString pdf = path(QStringLiteral("cmyk-%1.pdf").arg(qHash(QTest::currentDataTag())));
    Document document;
    QVERIFY(document.write(QFile::encodeName(pdf), pixels, true));
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, path(QStringLiteral("cmyk-%1").arg(qHash(QTest::currentDataTag()))));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images[0].color, QStringLiteral("cmyk"));
    QCOMPARE(images[0].encoding, QStringLiteral("jpeg"));

    const QImage shown = render(pdf, renderer, scratch.path());
    QCOMPARE(shown.size(), QSize(Size, Size));
    // Colour-managed (poppler) or not (MuPDF), readers show no ink as white, cyan as a light
    // blue, magenta with yellow as red and black ink as near black: each channel's range.
    struct Range
    {
        int low[3], high[3];
    };
    const Range expected[4] = {{{215, 215, 215}, {255, 255, 255}},
                               {{0, 120, 180}, {80, 255, 255}},
                               {{180, 0, 0}, {255, 90, 90}},
                               {{0, 0, 0}, {80, 80, 80}}};
    for (int q = 0; q < 4; ++q) {
        const QColor got = shown.pixelColor((q % 2) * Size / 2 + Size / 4, (q / 2) * Size / 2 + Size / 4);
        const int channels[3] = {got.red(), got.green(), got.blue()};
        for (int c = 0; c < 3; ++c)
            QVERIFY2(channels[c] >= expected[q].low[c] && channels[c] <= expected[q].high[c],
                     qPrintable(QStringLiteral("quadrant %1 is %2").arg(q).arg(got.name())));
    }
}

void TestConverter::failureReasons_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("fileSizeLimit");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("message");
    // A noisy page, so that its image is far larger than the limit and the write fails
    // while the page is drawn, not only when the file is flushed at the end.
    QTest::newRow("file size limit") << "big.pdf" << qint64(64 * 1024) << "DrawBitmap" << "cannot write %1: File too large";
    // A small page waits in the write buffer: the limit is met when the file is completed.
    QTest::newRow("file size limit at the end") << "small.pdf" << qint64(1024) << "WriteDoc" << "cannot write %1: File too large";
    QTest::newRow("missing folder") << "no/such/folder.pdf" << qint64(-1) << "BeginDoc"
                                    << "cannot create %1: No such file or directory";
    QTest::newRow("folder in the way") << "folder.pdf" << qint64(-1) << "WriteDoc" << "cannot replace %1: Is a directory";
}

void TestConverter::failureReasons()
{
    QFETCH(QString, target);
    QFETCH(qint64, fileSizeLimit);
    QFETCH(QString, action);
    QFETCH(QString, message);
    const QString pdf = path(target);
    if (target == QLatin1String("folder.pdf"))
        QVERIFY(QDir().mkpath(pdf + QStringLiteral("/inside")));
    const Pixels pixels = fromImage(target == QLatin1String("small.pdf") ? photo(40, 30) : photo(800, 1000), PDFE_RGB8);

    // Writes past the limit fail with EFBIG instead of the signal ending the process.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    if (fileSizeLimit > 0) {
        rlimit limited = saved;
        limited.rlim_cur = rlim_t(fileSizeLimit);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
    }
    Document document;
    const bool written = document.write(QFile::encodeName(pdf), pixels, false);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);

    QVERIFY(!written);
    QCOMPARE(document.failedAction, action);
    QVERIFY2(!document.messages.lines.isEmpty(), "no message");
    QCOMPARE(document.messages.lines.last(), message.arg(pdf));
    // Nothing is left behind but what was there.
    QStringList left = QDir(scratch.path()).entryList({QStringLiteral("*.part*")}, QDir::Files);
    QCOMPARE(left, QStringList());
}

void TestConverter::absurdBitmapsRefused_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bytesPerRow");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a million pixels square") << 1000000 << 1000000 << 3000000 << "bitmap too large";
    QTest::newRow("just over the largest page") << 10000 << 10001 << 30000 << "bitmap too large";
    QTest::newRow("rows of two gigabytes") << 1000 << 1000 << 0x7FFFFFFF << "do not fit its size";
    QTest::newRow("rows shorter than the width") << 1000 << 1000 << 2999 << "do not fit its size";
    QTest::newRow("negative width") << -5 << 100 << 300 << "bitmap without pixels";
}

void TestConverter::absurdBitmapsRefused()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bytesPerRow);
    QFETCH(QString, reason);
    // Claims far beyond the few bytes really there: reading or allocating by them would
    // crash or run out of memory instead of giving the reason.
    const std::vector<std::uint8_t> few(64, 0x80);
    PDFE_Bitmap bitmap{};
    bitmap.width = width;
    bitmap.height = height;
    bitmap.bytesPerRow = bytesPerRow;
    bitmap.format = PDFE_RGB8;
    bitmap.pixels = few.data();
    char error[200] = {};
    void *image = PDFE_EncodeImage(&bitmap, error, sizeof error);
    QVERIFY(!image);
    QVERIFY2(QString::fromUtf8(error).contains(reason), error);

    // The same through a document: the action fails and its message gives the reason.
    Messages messages;
    void *engine = PDFE_Initialize(0, 0, 0, 1, &Messages::receive, &messages);
    QByteArray pdf = QFile::encodeName(path(QStringLiteral("absurd.pdf")));
    QCOMPARE(PDFE_Action(engine, PDFE_BEGINDOC, 0, pdf.data()), 0);
    TPDFE_InitRec page{};
    page.pagew = page.pageh = 100;
    PDFE_InitializePage(engine, 0, &page);
    QCOMPARE(PDFE_Action(engine, PDFE_STARTPAGE, 0, nullptr), 0);
    TPDFE_DrawRec draw{};
    draw.w = draw.h = 100;
    draw.bitmap = static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(&bitmap));
    QVERIFY(PDFE_Action(engine, PDFE_DRAWBITMAP, 0, &draw) != 0);
    PDFE_Finalize(engine);
    QVERIFY(!messages.lines.isEmpty());
    QVERIFY2(messages.lines.last().contains(reason), qPrintable(messages.lines.last()));
}

void TestConverter::encodesOnSeveralThreads()
{
    // Pages of every kind coded at once on four threads come out as they do one at a time.
    const std::vector<Pixels> pages = {fromImage(textPage(800, 1100, QColor(236, 236, 236), QColor(35, 35, 35), true, 3), PDFE_RGBA8),
                                       fromImage(photo(700, 900), PDFE_RGB8),
                                       fromImage(textPage(900, 1200, Qt::white, Qt::black, false), PDFE_RGBA8),
                                       fromImage(textPage(700, 1000, QColor(242, 232, 208), QColor(70, 45, 25), true, 2), PDFE_RGBA8)};
    auto pdfOf = [&](const std::vector<void *> &images, const QString &name) {
        const QByteArray file = QFile::encodeName(path(name));
        void *engine = PDFE_Initialize(0, 0, 0, 1, nullptr, nullptr);
        QByteArray target = file;
        PDFE_Action(engine, PDFE_BEGINDOC, 0, target.data());
        for (void *image : images) {
            TPDFE_InitRec page{};
            page.pagew = page.pageh = 100;
            PDFE_InitializePage(engine, 0, &page);
            PDFE_Action(engine, PDFE_STARTPAGE, 0, nullptr);
            TPDFE_DrawRec draw{};
            draw.w = draw.h = 100;
            draw.bitmap = static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(image));
            PDFE_Action(engine, PDFE_DRAWIMAGE, 0, &draw);
            PDFE_Action(engine, PDFE_ENDPAGE, 0, nullptr);
            PDFE_FreeImage(image);
        }
        PDFE_Action(engine, PDFE_ENDDOC, 0, nullptr);
        PDFE_Action(engine, PDFE_WRITEDOC, 0, target.data());
        PDFE_Finalize(engine);
        QFile f(QString::fromLocal8Bit(file));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    std::vector<void *> serial;
    for (const Pixels &p : pages) {
        const PDFE_Bitmap b = p.bitmap();
        serial.push_back(PDFE_EncodeImage(&b, nullptr, 0));
    }
    std::vector<void *> parallel(pages.size(), nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < pages.size(); ++i)
        threads.emplace_back([&, i] {
            const PDFE_Bitmap b = pages[i].bitmap();
            parallel[i] = PDFE_EncodeImage(&b, nullptr, 0);
        });
    for (std::thread &t : threads)
        t.join();
    for (void *image : parallel)
        QVERIFY(image);
    const QByteArray one = pdfOf(serial, QStringLiteral("serial.pdf"));
    QVERIFY(!one.isEmpty());
    QCOMPARE(pdfOf(parallel, QStringLiteral("parallel.pdf")), one);
}

QM_TEST_MAIN(TestConverter)
#include "tst_converter.moc"
