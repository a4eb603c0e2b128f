// Pages stored as the site sent them, in the real browser against the test viewer site: the
// image file the viewer loaded, byte for byte, read from the browser's cache; a canvas copy
// where that file cannot be had; nothing where what came is no usable page.
#include "MainUnit.h"
#include "chromium.h"
#include "downloadcontroller.h"
#include "engineprofile.h"
#include "folders.h"
#include "logmemo.h"
#include "pagefile.h"
#include "pagesync.h"
#include "pdfcheck.h"
#include "testenv.h"
#include "vbooks.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <QtTest>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The report's members other than the image.
QJsonObject reportWithoutImage(const QString &report)
{
    QJsonObject object = QJsonDocument::fromJson(report.toUtf8()).object();
    object.remove(QStringLiteral("img"));
    return object;
}

} // namespace

class TestSiteBytes : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void siteFileIsStored_data();
    void siteFileIsStored();
    void canvasCopyWhenTheFileIsOfNoUse_data();
    void canvasCopyWhenTheFileIsOfNoUse();
    void unusableImageKeepsTheStoredPage_data();
    void unusableImageKeepsTheStoredPage();
    void wholeJpegBook();
    void canvasFolderRebuilds();

private:
    void showPage(const QString &id, int seq);
    bool capture(bool *stored);
    QString lastReport; // the page report of the last capture

    WindowFixture fixture;
    ViewerSite *site = nullptr;
    TMainfm *window = nullptr;
    QStringList &errors = fixture.errors;
    QTemporaryDir scratch;
};

void TestSiteBytes::initTestCase()
{
    QVERIFY(fixture.startSite());
    site = fixture.site;
    using Book = ViewerSite::Book;
    Book jpeg;
    jpeg.format = Book::Format::Jpeg;
    jpeg.totalSeq = 3;
    jpeg.rotatedPage = 2;
    jpeg.iccPage = 3;
    site->addBook(QStringLiteral("sb.jpeg"), jpeg);
    Book png;
    site->addBook(QStringLiteral("sb.png"), png);
    Book uncached = jpeg;
    uncached.cacheable = false;
    site->addBook(QStringLiteral("sb.nostore"), uncached);
    Book webp;
    webp.format = Book::Format::WebP;
    site->addBook(QStringLiteral("sb.webp"), webp);
    Book blob;
    blob.blobImages = true;
    site->addBook(QStringLiteral("sb.blob"), blob);
    Book unavailable = jpeg;
    unavailable.faultyPage = 1;
    unavailable.fault = Book::Fault::Unavailable;
    site->addBook(QStringLiteral("sb.unavailable"), unavailable);
    Book cutOff = jpeg;
    cutOff.faultyPage = 1;
    cutOff.fault = Book::Fault::CutOff;
    site->addBook(QStringLiteral("sb.cutoff"), cutOff);
    Book scans;
    scans.format = Book::Format::Jpeg;
    scans.scan = true;
    scans.totalSeq = 3;
    site->addBook(QStringLiteral("sb.scans"), scans);
    for (int seq = 1; seq <= scans.totalSeq; ++seq)
        site->pageFile(QStringLiteral("sb.scans"), seq); // A4 scans take a while to encode
    fixture.setUp();
}

void TestSiteBytes::init()
{
    QVERIFY(fixture.openWindow());
    window = fixture.window;
}

void TestSiteBytes::cleanup()
{
    QVERIFY(fixture.closeWindow());
    QCOMPARE(errors, QStringList());
}

void TestSiteBytes::cleanupTestCase()
{
    fixture.tearDown();
}

void TestSiteBytes::showPage(const QString &id, int seq)
{
    QVERIFY(fixture.loadAndWait(site->viewerUrl(id, seq)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Book->id, id, 20000);
    // The page image has come (or failed to) before the capture starts.
    QTRY_VERIFY_WITH_TIMEOUT(evaluateJavaScript(window->chm->View()->page(), QStringLiteral("document.getElementById('page').complete")).toBool(), 60000);
    window->Book->setWorking(true);
}

bool TestSiteBytes::capture(bool *stored)
{
    CaptureResult result;
    if (!fixture.capturePage(&result, &lastReport))
        return false;
    *stored = result.stored;
    return result.error.isEmpty();
}

void TestSiteBytes::siteFileIsStored_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("seq");
    QTest::addColumn<int>("requests");  // for the page image, the viewer's own load included
    QTest::addColumn<QByteArray>("holds"); // in the served file
    QTest::newRow("jpeg") << "sb.jpeg" << 1 << 1 << QByteArray("JFIF");
    QTest::newRow("jpeg with exif orientation 6") << "sb.jpeg" << 2 << 1 << QByteArray("Exif");
    QTest::newRow("jpeg with an icc profile") << "sb.jpeg" << 3 << 1 << QByteArray("ICC_PROFILE");
    QTest::newRow("png") << "sb.png" << 1 << 1 << QByteArray("IHDR");
    QTest::newRow("not to be cached") << "sb.nostore" << 1 << 2 << QByteArray("JFIF");
}

void TestSiteBytes::siteFileIsStored()
{
    QFETCH(QString, id);
    QFETCH(int, seq);
    QFETCH(int, requests);
    QFETCH(QByteArray, holds);
    QVERIFY(site->pageFile(id, seq).contains(holds));
    showPage(id, seq);
    bool stored = false;
    QVERIFY(capture(&stored));
    QVERIFY(stored);
    QCOMPARE(window->Book->curpage, seq);
    const QByteArray served = site->pageFile(id, seq);
    QCOMPARE(readAll(PageFilePath(id, seq)), served);
    const QImage shown = site->pageImage(id, seq);
    const QJsonObject report = reportWithoutImage(lastReport);
    QCOMPARE(report.value(QStringLiteral("source")).toString(), QStringLiteral("site"));
    QCOMPARE(report.value(QStringLiteral("naturalWidth")).toInt(), shown.width());
    QCOMPARE(report.value(QStringLiteral("naturalHeight")).toInt(), shown.height());
    QCOMPARE(site->hits(site->imagePath(id, seq)), requests);
    QVERIFY(errors.isEmpty());
}

void TestSiteBytes::canvasCopyWhenTheFileIsOfNoUse_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("why");
    QTest::newRow("blob: address") << "sb.blob" << "blob: address";
    // Served only where Qt can write WebP (qt6-image-formats-plugins).
    if (QImageWriter::supportedImageFormats().contains("webp"))
        QTest::newRow("webp") << "sb.webp" << "WebP";
}

void TestSiteBytes::canvasCopyWhenTheFileIsOfNoUse()
{
    QFETCH(QString, id);
    QFETCH(QString, why);
    showPage(id, 1);
    QTRY_VERIFY_WITH_TIMEOUT(evaluateJavaScript(window->chm->View()->page(), QStringLiteral("document.getElementById('page').naturalWidth > 0")).toBool(), 20000);
    bool stored = false;
    QVERIFY(capture(&stored));
    QVERIFY(stored);
    const QJsonObject report = reportWithoutImage(lastReport);
    QCOMPARE(report.value(QStringLiteral("source")).toString(), QStringLiteral("canvas"));
    QCOMPARE(report.value(QStringLiteral("why")).toString(), why);
    // A PNG of what the viewer shows: the served file as the browser decodes it.
    const QByteArray bytes = readAll(PageFilePath(id, 1));
    QVERIFY(bytes.startsWith("\x89PNG\r\n\x1a\n"));
    QImage servedDecoded;
    QVERIFY(servedDecoded.loadFromData(site->pageFile(id, 1)));
    QCOMPARE(QImage::fromData(bytes).size(), servedDecoded.size());
    QVERIFY(errors.isEmpty());
}

void TestSiteBytes::unusableImageKeepsTheStoredPage_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("answered 503") << "sb.unavailable";
    QTest::newRow("cut short") << "sb.cutoff";
}

void TestSiteBytes::unusableImageKeepsTheStoredPage()
{
    QFETCH(QString, id);
    QVERIFY(QDir().mkpath(PageFolderPath(id)));
    const QByteArray earlier = site->pagePng(QStringLiteral("sb.png"), 1);
    QVERIFY(writeFile(PageFilePath(id, 1), earlier));
    showPage(id, 1);
    window->Book->curpage = 0;
    bool stored = true;
    QVERIFY(capture(&stored));
    QVERIFY(!stored);
    QCOMPARE(window->Book->curpage, 0);
    QCOMPARE(readAll(PageFilePath(id, 1)), earlier);
    QVERIFY(errors.isEmpty());
}

void TestSiteBytes::wholeJpegBook()
{
    const QString id = QStringLiteral("sb.scans");
    QVERIFY2(fixture.openViewer(id, 1, 3), qPrintable(fixture.log()));
    fixture.runFast();
    window->Controller->Settings.patience.waits.clear();
    window->downloadbtn->click();
    QVERIFY2(fixture.waitForEnd(), qPrintable(fixture.log()));

    const QStringList lines = window->Memo1->lines();
    QCOMPARE(lines.count(QStringLiteral("pages are the site's JPEG files")), 1);
    QCOMPARE(lines.first(), QStringLiteral("pages are the site's JPEG files"));
    // One request per page image: the page script's copy came from the browser's cache.
    for (int seq = 1; seq <= 3; ++seq) {
        QCOMPARE(site->hits(site->imagePath(id, seq)), 1);
        QCOMPARE(readAll(PageFilePath(id, seq)), site->pageFile(id, seq));
    }
    // The PDF carries the site's files as they are.
    const QString pdf = AppFolders().dataFolder + id + QStringLiteral(".pdf");
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, scratch.path() + QStringLiteral("/scans"));
    QCOMPARE(images.size(), 3);
    for (int i = 0; i < images.size(); ++i) {
        QCOMPARE(images[i].encoding, QStringLiteral("jpeg"));
        QCOMPARE(readAll(images[i].file), site->pageFile(id, i + 1));
    }
}

void TestSiteBytes::canvasFolderRebuilds()
{
    // Pages captured before: canvas PNGs under the page names.
    const QString id = QStringLiteral("sb.canvasfolder");
    QVERIFY(QDir().mkpath(PageFolderPath(id)));
    for (int seq = 1; seq <= 2; ++seq)
        QVERIFY(writeFile(PageFilePath(id, seq), site->pagePng(id, seq)));
    QVERIFY(fixture.loadAndWait(site->viewerUrl(id, 1)));
    QTRY_VERIFY_WITH_TIMEOUT(window->rebuildbtn->isVisibleTo(window), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(window->Controller->TotalPages(), 3, 20000);
    window->rebuildbtn->click();
    const QString pdf = AppFolders().dataFolder + id + QStringLiteral(".pdf");
    QTRY_VERIFY_WITH_TIMEOUT(window->Memo1->lines().contains(QStringLiteral("save pdf file ") + pdf), 60000);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, scratch.path() + QStringLiteral("/canvas"));
    QCOMPARE(images.size(), 2);
    for (int i = 0; i < images.size(); ++i)
        QCOMPARE(QImage(images[i].file).convertToFormat(QImage::Format_RGB32),
                 site->pageImage(id, i + 1).convertToFormat(QImage::Format_RGB32));
}

QM_TEST_MAIN_WITH(TestSiteBytes, PrepareEngineProcess())
#include "tst_sitebytes.moc"
