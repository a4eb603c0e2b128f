// The check a captured page passes before it is stored: what its bytes are, whether they are
// whole, and whether their size is the one the viewer shows.
#include "apperror.h"
#include "pagebitmap.h"
#include "pagefixtures.h"
#include "pagereport.h"
#include "testenv.h"
#include "viewersite.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

using namespace PageFixtures;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A picture with detail in it, so that its files are of the size pages are.
QImage drawing(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(236, 228, 210));
    QPainter p(&image);
    for (int i = 0; i < 40; ++i) {
        p.setPen(QPen(QColor::fromHsv(i * 37 % 360, 160, 140), 3));
        p.drawLine(i * 13 % width, 0, width - i * 7 % width, height);
    }
    return image;
}

// The PNG with the first chunk of this type replaced by chunk (whole, with its length and CRC).
QByteArray withChunk(const QByteArray &png, const char *type, const QByteArray &chunk)
{
    const qsizetype at = png.indexOf(type) - 4;
    const qsizetype length = (qsizetype(uchar(png[at])) << 24) | (uchar(png[at + 1]) << 16) | (uchar(png[at + 2]) << 8) | uchar(png[at + 3]);
    return png.left(at) + chunk + png.mid(at + 12 + length);
}

QString dataUrl(const QByteArray &bytes, const QString &type)
{
    return QStringLiteral("data:%1;base64,").arg(type) + QString::fromLatin1(bytes.toBase64());
}

} // namespace

class TestPageReport : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void check_data();
    void check();
    void checkIsTheBuildsReading_data();
    void checkIsTheBuildsReading();
    void readReport();

private:
    ViewerSite site;
};

void TestPageReport::initTestCase()
{
    ViewerSite::Book jpeg;
    jpeg.format = ViewerSite::Book::Format::Jpeg;
    jpeg.rotatedPage = 2;
    site.addBook(QStringLiteral("r.jpeg"), jpeg);
}

void TestPageReport::check_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("shown");         // naturalWidth x naturalHeight, empty when not said
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("usable");

    const QImage image = ViewerSite::smallPage(QStringLiteral("r.jpeg"), 1);
    const QByteArray png = encoded(image, "PNG");
    const QByteArray jpeg = site.pageFile(QStringLiteral("r.jpeg"), 1);
    const QByteArray rotated = site.pageFile(QStringLiteral("r.jpeg"), 2);
    const QSize rotatedShown = site.pageImage(QStringLiteral("r.jpeg"), 2).size();
    const int Png = int(PageImageInfo::Kind::Png), Jpeg = int(PageImageInfo::Kind::Jpeg), None = int(PageImageInfo::Kind::None);

    QTest::newRow("png") << png << image.size() << Png << 1 << true;
    QTest::newRow("jpeg") << jpeg << image.size() << Jpeg << 1 << true;
    QTest::newRow("size not said") << jpeg << QSize() << Jpeg << 1 << true;
    QTest::newRow("exif orientation 6, shown turned") << rotated << rotatedShown << Jpeg << 6 << true;
    QTest::newRow("exif orientation 6, size as stored") << rotated << rotatedShown.transposed() << Jpeg << 6 << false;
    QTest::newRow("another size") << jpeg << QSize(image.width() / 2, image.height() / 2) << Jpeg << 1 << false;
    QTest::newRow("jpeg cut short") << jpeg.left(jpeg.size() * 3 / 5) << image.size() << None << 1 << false;
    QTest::newRow("jpeg cut in its headers") << jpeg.left(40) << image.size() << None << 1 << false;
    QTest::newRow("png cut short") << png.left(png.size() - 20) << image.size() << None << 1 << false;
    QTest::newRow("error page") << QByteArray("<html><body>Service unavailable</body></html>") << image.size() << None << 1 << false;
    QTest::newRow("nothing") << QByteArray() << image.size() << None << 1 << false;
    QTest::newRow("gif") << encoded(image, "GIF") << image.size() << None << 1 << false;
}

void TestPageReport::check()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, shown);
    QFETCH(int, kind);
    QFETCH(int, orientation);
    QFETCH(bool, usable);
    PageReport report;
    report.bytes = bytes;
    report.naturalWidth = shown.width() > 0 ? shown.width() : 0;
    report.naturalHeight = shown.height() > 0 ? shown.height() : 0;
    PageImageInfo info;
    const QString fault = PageReportFault(report, info);
    QCOMPARE(int(info.kind), kind);
    QCOMPARE(info.orientation, orientation);
    QVERIFY2(fault.isEmpty() == usable, qPrintable(fault));
}

void TestPageReport::checkIsTheBuildsReading_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("refusal"); // empty: stored; else part of the reason

    const QImage picture = drawing(240, 160);
    const QByteArray jpeg = qtJpeg(picture);
    const QByteArray progressive = qtJpeg(picture, true);
    const QByteArray png = encoded(picture, "PNG");
    const QString data = QStringLiteral(REAL_IMAGES_DIR "/");

    // Every JPEG a browser shows.
    QTest::newRow("data after the end marker") << jpeg + qtJpeg(picture.scaled(60, 40)) << QString();
    const qsizetype dht = jpegSegment(jpeg, 0xC4);
    QTest::newRow("stray bytes between segments") << jpeg.left(dht) + QByteArray("\x12\x34", 2) + jpeg.mid(dht) << QString();
    QTest::newRow("FF 00 between segments") << jpeg.left(dht) + QByteArray("\xFF\x00", 2) + jpeg.mid(dht) << QString();
    QTest::newRow("arithmetic-coded") << libjpegFile(96, 64, JCS_YCbCr, true) << QString();
    QTest::newRow("motion JPEG frame without Huffman tables") << withoutSegments(libjpegFile(96, 64, JCS_YCbCr), 0xC4) << QString();
    QTest::newRow("\"PNG\" at the start of its first segment")
        << withSegmentsFirst(jpeg, jpegSegmentBytes(0xE1, QByteArray("PNG image, this is not", 22))) << QString();
    QTest::newRow("components named R, G, B (real)") << readAll(data + QStringLiteral("zn_rgbw.jpeg")) << QString();
    QTest::newRow("stray bytes before its end marker (real)") << readAll(data + QStringLiteral("jd_xtra.jpg")) << QString();
    // A blank page over the page limit: its structure and headers read, not decoded.
    QTest::newRow("10240 x 10240 pixels") << blankGrayJpeg(10240, 10240) << QString();

    // Browsers show none of these.
    QByteArray twelveBit = jpeg;
    twelveBit[jpegSegment(twelveBit, 0xC0) + 1] = char(0xC1);
    twelveBit[jpegSegment(twelveBit, 0xC1) + 4] = 12;
    QTest::newRow("12-bit") << twelveBit << QStringLiteral("12-bit JPEG is not supported (browsers do not show it)");
    QByteArray lossless = jpeg;
    lossless[jpegSegment(lossless, 0xC0) + 1] = char(0xC3);
    QTest::newRow("lossless") << lossless << QStringLiteral("lossless JPEG is not supported (browsers do not show it)");

    // Damaged JPEGs that would make a blank or broken page.
    QByteArray claiming = jpeg;
    putWord(claiming, jpegSegment(claiming, 0xC0) + 5, 9000);
    putWord(claiming, jpegSegment(claiming, 0xC0) + 7, 9000);
    QTest::newRow("frame of 9000 x 9000 over a few kilobytes") << claiming << QStringLiteral("more than its");
    QTest::newRow("bad Huffman code (real)") << readAll(data + QStringLiteral("zn_small.jpg")) << QStringLiteral("bad Huffman code");
    QByteArray huffman = jpeg;
    huffman[dht + 5] = char(0xFF); // codes of length 1: more than there can be
    QTest::newRow("bad Huffman table") << huffman << QStringLiteral("Huffman table");
    QByteArray quantisation = jpeg;
    quantisation[jpegSegment(quantisation, 0xDB) + 4] = char(0x07); // table number 7
    QTest::newRow("bad quantization table") << quantisation << QStringLiteral("DQT");
    QTest::newRow("no quantization table") << withoutSegments(jpeg, 0xDB) << QStringLiteral("Quantization table");
    QByteArray component = jpeg;
    component[jpegSegment(component, 0xDA) + 5] = char(0x09); // the scan's first component
    QTest::newRow("bad component in the scan") << component << QStringLiteral("component");
    QByteArray progression = progressive;
    const qsizetype sos = jpegSegment(progression, 0xDA);
    const int components = uchar(progression[sos + 4]);
    progression[sos + 5 + 2 * components] = char(5); // the first scan: Ss 5, Se 0
    QTest::newRow("invalid progressive parameters") << progression << QStringLiteral("progressive");
    QByteArray scan = jpeg;
    scan.insert(jpegSegment(jpeg, 0xDA) + (jpeg.size() - jpegSegment(jpeg, 0xDA)) / 2, "\xFF\xD5"); // a restart out of place
    QTest::newRow("garbled image data") << scan << QStringLiteral("Corrupt JPEG data");
    QTest::newRow("cut short") << jpeg.left(jpeg.size() - 100) << QStringLiteral("cut short");

    // PNGs: every chunk whole, the image data inflated.
    QByteArray crc = png;
    crc[crc.indexOf("IDAT") + 8] = char(crc[crc.indexOf("IDAT") + 8] ^ 0x40);
    QTest::newRow("IDAT with a wrong CRC") << crc << QStringLiteral("CRC error");
    const QByteArray idat = QByteArray("\x78\x9C", 2) + QByteArray(300, char(0xFF));
    QTest::newRow("broken deflate data") << withChunk(png, "IDAT", pngChunk("IDAT", idat)) << QString("invalid");
    QByteArray splt = png.left(33) + QByteArray("\x7F\xFF\xFF\xF0sPLT", 8) + QByteArray(160, 'x');
    QTest::newRow("sPLT claiming 2 GB in 201 bytes") << splt << QStringLiteral("cut short");
    QTest::newRow("a 1 x 1 PNG of its few bytes") << encoded(QImage(1, 1, QImage::Format_RGB32), "PNG") << QStringLiteral("fewer than a page image has");
    QTest::newRow("iCCP profile (real)") << readAll(data + QStringLiteral("png_brokeniccp.png")) << QString();
    // Samples that repeat, a thousand for every byte of the file: a blank page keeps one gray
    // sample a pixel, and is taken; colour and transparency need four, and are not.
    QTest::newRow("41 megapixels of white RGBA") << repeatingPng(6400, 6400, 6, QByteArray(4, char(0xFF))) << QString();
    QTest::newRow("41 megapixels of translucent colour") << repeatingPng(6400, 6400, 6, QByteArray("\xC8\x28\x5A\x80", 4))
                                                        << QStringLiteral("need more than the");
}

// What the check before storing takes, the build reads: the reason is the build's own, and a
// page it takes is a bitmap the build makes.
void TestPageReport::checkIsTheBuildsReading()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, refusal);
    const PageImageInfo info = InspectPageImage(bytes);
    QVERIFY2(info.usable() == refusal.isEmpty(), qPrintable(info.reason));
    QVERIFY2(info.reason.contains(refusal), qPrintable(info.reason));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("0001.jpg"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QCOMPARE(PageFileFault(path), info.reason);
    if (!info.usable())
        return;
    QVERIFY(InspectPageImage(bytes, PageReading::Headers).usable());
    try {
        const std::unique_ptr<PageBitmap> bitmap = LoadPageBitmap(path);
        QCOMPARE(QSize(bitmap->width, bitmap->height), QSize(info.width, info.height));
    } catch (const AppError &e) {
        QFAIL(qPrintable(e.message()));
    }
}

void TestPageReport::readReport()
{
    // The members of a report as the page script prints it; any data URL type, the bytes as sent.
    const QByteArray jpeg = site.pageFile(QStringLiteral("r.jpeg"), 1);
    const QString text = QStringLiteral("{\"total\":3,\"currpage\":\"7\",\"img\":\"%1\",\"naturalWidth\":317,\"naturalHeight\":431,"
                                        "\"source\":\"canvas\",\"why\":\"WebP\"}").arg(dataUrl(jpeg, QStringLiteral("application/octet-stream")));
    const PageReport report = ReadPageReport(text);
    QCOMPARE(report.currpage, QStringLiteral("7"));
    QCOMPARE(report.bytes, jpeg);
    QCOMPARE(report.naturalWidth, 317);
    QCOMPARE(report.naturalHeight, 431);
    QCOMPARE(report.source, QStringLiteral("canvas"));
    QCOMPARE(report.why, QStringLiteral("WebP"));
    QVERIFY_THROWS_EXCEPTION(AppError, ReadPageReport(QStringLiteral("{\"currpage\":")));
}

QM_TEST_MAIN(TestPageReport)
#include "tst_pagereport.moc"
