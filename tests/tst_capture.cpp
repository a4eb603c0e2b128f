// Book page detection and page capture in the real browser, against the test viewer site.
#include "MainUnit.h"
#include "chromium.h"
#include "engineprofile.h"
#include "folders.h"
#include "logmemo.h"
#include "pagefile.h"
#include "pagescripts.h"
#include "runstate.h"
#include "scriptrunner.h"
#include "testenv.h"
#include "vbooks.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

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
    void execScriptEndsOnMarkerOnly();
    void taintedCanvasStoresNothing();
    void viewerWithoutCountKeepsTotal();
    void unusableIdIsReported();

private:
    ViewerSite *site = nullptr;
    ViewerSite *otherOrigin = nullptr;
    WindowFixture fixture;
    TMainfm *window = nullptr;
    QStringList &errors = fixture.errors;
};

void TestCapture::initTestCase()
{
    site = new ViewerSite(this);
    otherOrigin = new ViewerSite(this);
    QVERIFY(site->start());
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
    fixture.setUp(site->homeUrl());
}

void TestCapture::init()
{
    QVERIFY(fixture.openWindow());
    window = fixture.window;
}

void TestCapture::cleanup()
{
    QVERIFY(fixture.closeWindow());
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
    QCOMPARE(Run().TotalPages, 4);
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

void TestCapture::savepageStoresTheServedImage()
{
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.one"), 3)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Book->id, QStringLiteral("book.one"), 20000);
    window->Book->setWorking(true);
    savepage(*window->chm, *window->Book, window->PageScript);
    QCOMPARE(window->Book->curpage, 3);
    QCOMPARE(window->Book->imgpageno, QStringLiteral("3"));

    QFile file(PageFilePath(QStringLiteral("book.one"), 3));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\x89PNG\r\n\x1a\n")); // PNG, though the script asks for image/jpg
    QImage stored;
    QVERIFY(stored.loadFromData(bytes, "PNG"));
    const QImage served = ViewerSite::pageImage(QStringLiteral("book.one"), 3).convertToFormat(QImage::Format_ARGB32);
    const QImage got = stored.convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(got.size(), served.size());
    for (int y = 0; y < got.height(); ++y)
        for (int x = 0; x < got.width(); ++x)
            if (got.pixel(x, y) != served.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3 instead of %4").arg(x).arg(y).arg(got.pixel(x, y), 8, 16).arg(served.pixel(x, y), 8, 16)));
    QVERIFY(errors.isEmpty());
}

void TestCapture::execScriptEndsOnMarkerOnly()
{
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.one"), 1)));
    QVERIFY(ExecScript(*window->chm, window->PageScript));
    QVERIFY(Run().LastPageReport.startsWith(QStringLiteral("{\"total\":4,\"currpage\":\"1\",\"img\":\"data:image/png;base64,")));
    QVERIFY(!ExecScript(*window->chm, TotalPageScript()));
    QCOMPARE(Run().TotalPages, 4);
}

void TestCapture::taintedCanvasStoresNothing()
{
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.foreign"), 1)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Book->id, QStringLiteral("book.foreign"), 20000);
    QVERIFY(otherOrigin->hits(QStringLiteral("/img?id=book.foreign&seq=1")) >= 1); // the image is shown
    window->Book->setWorking(true);
    Run().LastPageReport = QStringLiteral("stale");
    savepage(*window->chm, *window->Book, window->PageScript);
    QCOMPARE(Run().LastPageReport, QString());
    QVERIFY(!Run().ScriptEnded); // the script failed before its end marker: the full wait
    QCOMPARE(QDir(window->Book->PageFolder()).entryList(QDir::Files), QStringList());
    QVERIFY(errors.isEmpty());
}

void TestCapture::viewerWithoutCountKeepsTotal()
{
    Run().TotalPages = 9;
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.nocount"))));
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines(), (QStringList{QString(), "Ready to download", "book.nocount"}), 20000);
    QTest::qWait(2500); // past the page-count request's wait
    QCOMPARE(window->Memo1->lines(), (QStringList{QString(), "Ready to download", "book.nocount"}));
    QCOMPARE(Run().TotalPages, 9);
    QVERIFY(window->downloadbtn->isEnabled());
    QVERIFY(errors.isEmpty());
}

void TestCapture::unusableIdIsReported()
{
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/cgi/pt?id=%3A%3F&seq=1"))));
    QTRY_COMPARE_WITH_TIMEOUT(errors, QStringList{"Resulting FileName was empty Input string was: :?"}, 20000);
    QVERIFY(window->downloadbtn->isEnabled());
    // Later loads work as before.
    QVERIFY(fixture.loadAndWait(site->viewerUrl(QStringLiteral("book.one"), 1)));
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines().value(3), QStringLiteral("Total pages 4"), 20000);
    QCOMPARE(window->Book->dirid, QStringLiteral("book.one"));
    errors.clear();
}

QM_TEST_MAIN_WITH(TestCapture, PrepareEngineProcess())
#include "tst_capture.moc"
