// Book page detection and page capture in the real browser, against the test viewer site.
#include "MainUnit.h"
#include "chromium.h"
#include "engineprofile.h"
#include "folders.h"
#include "logmemo.h"
#include "pagefile.h"
#include "pagescripts.h"
#include "downloadcontroller.h"
#include "testenv.h"
#include "vbooks.h"
#include "viewersite.h"
#include "windowfixture.h"
#include "pagesync.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QtTest>
#include <cstring>

class TestCapture : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void viewerPageOffersDownload();
    void storedFirstPageShowsRebuild();
    void savepageStoresTheServedImage();
    void scanSizedPageIsStored();
    void execScriptEndsOnMarkerOnly();
    void otherOriginImageTakenByTheBrowser_data();
    void otherOriginImageTakenByTheBrowser();
    void viewerWithoutCountHasNoTotal();
    void unusableIdIsReported();

private:
    bool capture(bool *stored);
    void verifyStoredPage(const QString &id, int seq);

    WindowFixture fixture;
    ViewerSite *site = nullptr;
    ViewerSite *otherOrigin = nullptr;
    TMainfm *window = nullptr;
    QStringList &errors = fixture.errors;
};

void TestCapture::initTestCase()
{
    QVERIFY(fixture.startSite());
    site = fixture.site;
    otherOrigin = new ViewerSite(this);
    QVERIFY(otherOrigin->start());
    site->addPage(QStringLiteral("/a"), "<html><body>not a book</body></html>");
    ViewerSite::Book four;
    four.totalSeq = 4;
    site->addBook(QStringLiteral("book.one"), four);
    ViewerSite::Book noCount;
    noCount.hasTotal = false;
    site->addBook(QStringLiteral("book.nocount"), noCount);
    ViewerSite::Book foreign;
    foreign.imageOrigin = otherOrigin->url(QString());
    site->addBook(QStringLiteral("book.foreign"), foreign);
    site->addBook(QStringLiteral("book.foreignnostore"), foreign);
    ViewerSite::Book uncached;
    uncached.cacheable = false;
    otherOrigin->addBook(QStringLiteral("book.foreignnostore"), uncached);
    ViewerSite::Book scan;
    scan.scan = true;
    site->addBook(QStringLiteral("book.scan"), scan);
    fixture.setUp();
}

void TestCapture::init()
{
    QVERIFY(fixture.openWindow());
    window = fixture.window;
}

void TestCapture::cleanup()
{
    QVERIFY(fixture.closeWindow());
    QCOMPARE(errors, QStringList());
}

void TestCapture::cleanupTestCase()
{
    fixture.tearDown();
}

void TestCapture::viewerPageOffersDownload()
{
    fixture.typeAddress(site->viewerUrl(QStringLiteral("book.one"), 2));
    const QStringList expected{QString(), "Ready to download", "book.one", "Total pages 4"};
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines(), expected, 20000);
    QVERIFY(window->downloadbtn->isEnabled());
    QCOMPARE(window->Controller->TotalPages(), 4);
    QCOMPARE(window->Book->id, QStringLiteral("book.one"));
    QVERIFY(!window->rebuildbtn->isVisibleTo(window)); // nothing stored for it

    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/a"))));
    QVERIFY(!window->downloadbtn->isEnabled());
    QVERIFY(!window->rebuildbtn->isVisibleTo(window));
    QCOMPARE(window->Memo1->lines(), expected); // the log stays as it was
    QVERIFY(errors.isEmpty());
}

void TestCapture::storedFirstPageShowsRebuild()
{
    QVERIFY(QDir().mkpath(PageFolderPath(QStringLiteral("book.stored"))));
    QFile page(PageFilePath(QStringLiteral("book.stored"), 1));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("stored");
    page.close();

    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.stored"))));
    QTRY_VERIFY_WITH_TIMEOUT(window->rebuildbtn->isVisibleTo(window), 20000);

    // Going to a non-viewer page hides it again, though the pages are still stored.
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/a"))));
    QVERIFY(!window->rebuildbtn->isVisibleTo(window));
    QVERIFY(page.exists());
    QVERIFY(errors.isEmpty());
}

bool TestCapture::capture(bool *stored)
{
    CaptureResult result;
    if (!fixture.capturePage(&result))
        return false;
    *stored = result.stored;
    return result.error.isEmpty();
}

void TestCapture::verifyStoredPage(const QString &id, int seq)
{
    QFile file(PageFilePath(id, seq));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\x89PNG\r\n\x1a\n")); // PNG, though the script asks for image/jpg
    QImage stored;
    QVERIFY(stored.loadFromData(bytes, "PNG"));
    const QImage served = site->pageImage(id, seq).convertToFormat(QImage::Format_ARGB32);
    const QImage got = stored.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(got.size(), served.size());
    for (int y = 0; y < got.height(); ++y) {
        if (std::memcmp(got.constScanLine(y), served.constScanLine(y), size_t(got.bytesPerLine())) == 0)
            continue;
        for (int x = 0; x < got.width(); ++x)
            if (got.pixel(x, y) != served.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3 instead of %4").arg(x).arg(y).arg(got.pixel(x, y), 8, 16).arg(served.pixel(x, y), 8, 16)));
    }
}

void TestCapture::savepageStoresTheServedImage()
{
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.one"), 3)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Book->id, QStringLiteral("book.one"), 20000);
    window->Book->setWorking(true);
    bool stored = false;
    QVERIFY(capture(&stored));
    QVERIFY(stored);
    QCOMPARE(window->Book->curpage, 3);
    QCOMPARE(window->Book->imgpageno, QStringLiteral("3"));
    verifyStoredPage(QStringLiteral("book.one"), 3);
    QVERIFY(errors.isEmpty());
}

void TestCapture::scanSizedPageIsStored()
{
    // An A4 page scanned at 300 dpi in colour, with grain: its report runs to tens of
    // millions of characters and takes the page seconds to produce.
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.scan"), 1)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Book->id, QStringLiteral("book.scan"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(site->hits(QStringLiteral("/img?id=book.scan&seq=1")) >= 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(evaluateJavaScript(window->chm->View()->page(), QStringLiteral("document.getElementById('page').complete")).toBool(), 60000);
    window->Book->setWorking(true);
    bool stored = false;
    QVERIFY(capture(&stored));
    QVERIFY(stored);
    verifyStoredPage(QStringLiteral("book.scan"), 1);
    QVERIFY(errors.isEmpty());
}

void TestCapture::execScriptEndsOnMarkerOnly()
{
    QSignalSpy identified(&window->Controller->Display(), &TBookOnDisplay::BookIdentified);
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.one"), 1)));
    // A runner of the test's own on the window's browser, fed its console as the run's is,
    // once the window's own scripts on the page have ended.
    QTRY_VERIFY_WITH_TIMEOUT(!identified.isEmpty(), 20000);
    TScriptRunner scripts(*window->chm);
    connect(window->chm, &IBrowser::ConsoleMessage, &scripts, &TScriptRunner::HandleConsoleText);
    ScriptOutcome page, total;
    int done = 0;
    scripts.ExecScript(window->PageScript, 60000, [&](const ScriptOutcome &o) { page = o; ++done; });
    scripts.ExecScript(TotalPageScript(), 60000, [&](const ScriptOutcome &o) { total = o; ++done; });
    QVERIFY(QTest::qWaitFor([&] { return done == 2; }, 20000));
    QVERIFY(page.ended);
    const QJsonObject report = QJsonDocument::fromJson(page.report.toUtf8()).object();
    QCOMPARE(report.value(QStringLiteral("currpage")).toString(), QStringLiteral("1"));
    QVERIFY(report.value(QStringLiteral("img")).toString().startsWith(QLatin1String("data:image/png;base64,")));
    QVERIFY(!total.ended); // over when its probe came, without an end marker
    QCOMPARE(window->Controller->TotalPages(), 4);
}

void TestCapture::otherOriginImageTakenByTheBrowser_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("requests"); // of the image, the viewer's own included
    // The viewer's request and the browser's download: the browser keeps what a page loads
    // apart from what it downloads, so it asks the site once more even for an image in its cache.
    QTest::newRow("cacheable") << "book.foreign" << 2;
    QTest::newRow("not to be cached") << "book.foreignnostore" << 2;
}

void TestCapture::otherOriginImageTakenByTheBrowser()
{
    QFETCH(QString, id);
    QFETCH(int, requests);
    const QString image = QStringLiteral("/img?id=%1&seq=1").arg(id);
    QVERIFY(fixture.loadAndWait(site->viewerUrl(id, 1)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Book->id, id, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(otherOrigin->hits(image) >= 1, 20000); // the image is shown
    QTRY_VERIFY_WITH_TIMEOUT(evaluateJavaScript(window->chm->View()->page(), QStringLiteral("document.getElementById('page').complete")).toBool(), 20000);
    window->Book->setWorking(true);
    // The page script may not read it, nor draw it on a canvas of its own: the browser
    // downloads it as the page would, and the site's file is stored.
    CaptureResult result;
    QVERIFY(fixture.capturePage(&result));
    QVERIFY2(result.stored, qPrintable(result.capture.fault + result.failure.fault.text));
    QCOMPARE(result.capture.way, QStringLiteral("browser PNG"));
    QFile stored(PageFilePath(id, 1));
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(), otherOrigin->pageFile(id, 1));
    QCOMPARE(otherOrigin->hits(image), requests);
    // Nothing of it went to the Downloads folder.
    QCOMPARE(QDir(QStandardPaths::writableLocation(QStandardPaths::DownloadLocation)).entryList(QDir::Files), QStringList());
    QVERIFY(errors.isEmpty());
}

void TestCapture::viewerWithoutCountHasNoTotal()
{
    // The book before had 4 pages; this one has stored pages but its viewer gives no count.
    fixture.typeAddress(site->viewerUrl(QStringLiteral("book.one"), 1));
    QTRY_COMPARE_WITH_TIMEOUT(window->Controller->TotalPages(), 4, 20000);
    QVERIFY(QDir().mkpath(PageFolderPath(QStringLiteral("book.nocount"))));
    QFile page(PageFilePath(QStringLiteral("book.nocount"), 1));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("stored");
    page.close();
    QSignalSpy identified(&window->Controller->Display(), &TBookOnDisplay::BookIdentified);
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.nocount"))));
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines(), (QStringList{QString(), "Ready to download", "book.nocount"}), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(!identified.isEmpty(), 20000); // the count's answer has come
    QCOMPARE(window->Memo1->lines(), (QStringList{QString(), "Ready to download", "book.nocount"}));
    QCOMPARE(window->Controller->TotalPages(), 0); // unknown, never the 4 of the book before
    QVERIFY(window->downloadbtn->isEnabled());
    QVERIFY(!window->rebuildbtn->isVisibleTo(window)); // not before its own count
    QVERIFY(errors.isEmpty());
}

void TestCapture::unusableIdIsReported()
{
    QVERIFY2(fixture.openViewer(QStringLiteral("book.one"), 1, 4), qPrintable(fixture.log()));
    // An id that leaves no file name: said in the log, no Download, the record unchanged.
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/cgi/pt?id=%3A%3F&seq=1"))));
    QCOMPARE(window->Memo1->lines(), (QStringList{QString(), "The book id \":?\" leaves no usable file name: no download"}));
    QVERIFY(!window->downloadbtn->isEnabled());
    QVERIFY(!window->rebuildbtn->isVisibleTo(window));
    QCOMPARE(window->Book->id, QStringLiteral("book.one"));
    QCOMPARE(window->Book->dirid, QStringLiteral("book.one"));
    QVERIFY(!window->Controller->Working());
    QVERIFY(!window->Controller->Ticking());
    // Later loads work as before.
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.one"), 2)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines().value(3), QStringLiteral("Total pages 4"), 20000);
    QVERIFY(window->downloadbtn->isEnabled());
    QVERIFY(errors.isEmpty());
}

QM_TEST_MAIN_WITH(TestCapture, PrepareEngineProcess())
#include "tst_capture.moc"
