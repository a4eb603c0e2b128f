// The check a captured page passes before it is stored: what its bytes are, whether they are
// whole, and whether their size is the one the viewer shows.
#include "apperror.h"
#include "pagereport.h"
#include "testenv.h"
#include "viewersite.h"

#include <QApplication>
#include <QBuffer>
#include <QtTest>

namespace {

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
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
