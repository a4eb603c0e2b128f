// Whole download runs in the real browser against the test viewer site.
#include "MainUnit.h"
#include "chromium.h"
#include "engineprofile.h"
#include "folders.h"
#include "keepawake.h"
#include "logmemo.h"
#include "pagefile.h"
#include "pdfassembly.h"
#include "pdfcheck.h"
#include "downloadcontroller.h"
#include "testenv.h"
#include "vbooks.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

class TestDownload : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void wholeBookAtRealPacing();
    void startedMidBook();
    void startedOnLastPage();
    void stopThenDownloadAgain();
    void rebuildAfterRun();
    void navigatingViewer();
    void pageImageUnavailableOnce();
    void addressWithFragment();
    void failedFirstCaptureAfterAnotherBook();
    void errorInTickEndsTheRun();
    void closeDuringRun();
    void searchableBook();

private:
    void openViewer(const QString &id, int seq, int total) { QVERIFY2(fixture.openViewer(id, seq, total), qPrintable(fixture.log())); }
    void waitForEnd(int timeoutMs = 60000) { QVERIFY2(fixture.waitForEnd(timeoutMs), qPrintable(fixture.log())); }
    // A page that does not load is given up at once.
    void runFast()
    {
        fixture.runFast();
        window->Controller->Settings.patience.waits.clear();
    }
    QStringList pageFiles(const QString &dirid) const;
    // The PDF of book id (named after it, or pdfName) holds the served images of pages.
    void verifyPdf(const QString &id, const QList<int> &pages, const QString &pdfName = QString());

    WindowFixture fixture;
    ViewerSite *site = nullptr;
    TMainfm *window = nullptr;
    QStringList &errors = fixture.errors;
    QList<QUrl> &openedFolders = fixture.openedFolders;
    QTemporaryDir scratch;
};

void TestDownload::initTestCase()
{
    QVERIFY(fixture.startSite());
    site = fixture.site;
    site->addPage(QStringLiteral("/a"), "<html><body>not a book</body></html>");
    auto add = [this](const QString &id, int total, bool navigating = false, const QString &origin = QString()) {
        ViewerSite::Book book;
        book.totalSeq = total;
        book.navigating = navigating;
        book.imageOrigin = origin;
        site->addBook(id, book);
    };
    add(QStringLiteral("run.real"), 3);
    ViewerSite::Book titled;
    titled.totalSeq = 3;
    titled.title = QStringLiteral("Die Größe der Welt");
    site->addBook(QStringLiteral("run.real"), titled);
    add(QStringLiteral("run.mid"), 5);
    add(QStringLiteral("run.last"), 4);
    add(QStringLiteral("run.stop"), 4);
    add(QStringLiteral("run.rebuild"), 2);
    add(QStringLiteral("run.navigating"), 3, true);
    add(QStringLiteral("run.fragment"), 3);
    add(QStringLiteral("run.before"), 5);
    // A book whose page images the site never gives.
    ViewerSite::Book down;
    down.totalSeq = 3;
    down.imageRetryMs = 3600000;
    for (int seq = 1; seq <= 3; ++seq)
        down.unavailable.insert(seq, 1000000);
    site->addBook(QStringLiteral("run.down"), down);
    add(QStringLiteral("run.blocked"), 2);
    // Page 2's image answers 503 at first; the viewer loads it again a few seconds later,
    // between the run's first capture of that page and its last attempt.
    ViewerSite::Book flaky;
    flaky.totalSeq = 3;
    flaky.unavailable.insert(2, 1);
    flaky.imageRetryMs = 5000;
    site->addBook(QStringLiteral("run.flaky"), flaky);
    ViewerSite::Book text;
    text.totalSeq = 2;
    text.text = true;
    site->addBook(QStringLiteral("run.text"), text);
    fixture.setUp();
}

void TestDownload::init()
{
    QVERIFY(fixture.openWindow());
    window = fixture.window;
}

void TestDownload::cleanup()
{
    QVERIFY(fixture.closeWindow());
    QCOMPARE(errors, QStringList());
}

void TestDownload::cleanupTestCase()
{
    fixture.tearDown();
}

QStringList TestDownload::pageFiles(const QString &dirid) const
{
    return QDir(PageFolderPath(dirid)).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
}

void TestDownload::verifyPdf(const QString &id, const QList<int> &pages, const QString &pdfName)
{
    const QString pdf = AppFolders().dataFolder + (pdfName.isEmpty() ? id : pdfName) + QStringLiteral(".pdf");
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QList<QSizeF> sizes = PdfCheck::pageSizes(pdf);
    QVERIFY2(sizes.size() == pages.size(), qPrintable(fixture.log()));
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, scratch.path() + QLatin1Char('/') + id);
    QCOMPARE(images.size(), pages.size());
    const double scale = 72.0 / ScreenPixelsPerInch();
    for (int i = 0; i < pages.size(); ++i) {
        const QImage served = site->pageImage(id, pages[i]).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(sizes[i], QSizeF(served.width() * scale, served.height() * scale));
        QCOMPARE(QImage(images[i].file).convertToFormat(QImage::Format_RGB32), served);
    }
}

void TestDownload::wholeBookAtRealPacing()
{
    openViewer(QStringLiteral("run.real"), 1, 3);
    QCOMPARE(window->Controller->Settings.tickMs, 1000);
    window->downloadbtn->click();
    QVERIFY(window->Controller->Working());
    QVERIFY(window->stopbtn->isVisibleTo(window));
    QVERIFY(!window->downloadbtn->isVisibleTo(window));
    QVERIFY(window->timelabel->isVisibleTo(window));
    QVERIFY(KeepAwake::Requested());
    QCOMPARE(window->Memo1->lines(), QStringList{"downloading ...."});
    // Said once, above the progress line: the pages are the files the site sent.
    const QString way = QStringLiteral("pages are the site's PNG files");
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines(), (QStringList{way, "Save page 1 / 3 ..."}), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines(), (QStringList{way, "Loading page 2 / 3 ..."}), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines(), (QStringList{way, "Save page 2 / 3 ..."}), 20000);
    waitForEnd();

    const QString pdf = AppFolders().dataFolder + QStringLiteral("run.real.pdf");
    QCOMPARE(window->Memo1->lines(), (QStringList{way, "Save page 3 / 3 ...", "pdf page 3", "save pdf file " + pdf, "download end."}));
    verifyPdf(QStringLiteral("run.real"), {1, 2, 3});
    // The PDF carries the book's title and the address it was captured from.
    const QString info = PdfCheck::run(QStringLiteral("pdfinfo"), {pdf});
    QVERIFY2(info.contains(QStringLiteral("Title:           Die Größe der Welt\n")), qPrintable(info));
    QVERIFY2(info.contains(QStringLiteral("Subject:         ") + site->viewerUrl(QStringLiteral("run.real"), 1)), qPrintable(info));
    QCOMPARE(pageFiles(QStringLiteral("run.real")), (QStringList{"0001.jpg", "0002.jpg", "0003.jpg"}));
    QCOMPARE(openedFolders, QList<QUrl>{QUrl::fromLocalFile(AppFolders().dataFolder)});
    QVERIFY(!window->Controller->Working());
    QVERIFY(!window->Controller->Ticking());
    QVERIFY(!KeepAwake::Requested());
    QVERIFY(window->downloadbtn->isVisibleTo(window));
    QVERIFY(!window->stopbtn->isVisibleTo(window));
    QVERIFY(!window->timelabel->isVisibleTo(window));
    QVERIFY(window->rebuildbtn->isVisibleTo(window));
    QVERIFY(window->ticklabel->text().toInt() > 0);
    QCOMPARE(window->chm->MainFrameUrl(), site->viewerUrl(QStringLiteral("run.real"), 3));
}

void TestDownload::startedMidBook()
{
    openViewer(QStringLiteral("run.mid"), 3, 5);
    runFast();
    window->downloadbtn->click();
    // The progress bar counts the pages from the one on display to the end.
    QTRY_COMPARE_WITH_TIMEOUT(window->progressbar->format(), QStringLiteral("1 / 3 pages"), 20000);
    QVERIFY(window->progressbar->isVisibleTo(window));
    QCOMPARE(window->progressbar->maximum(), 3);
    waitForEnd();
    QVERIFY(!window->progressbar->isVisibleTo(window));
    QCOMPARE(pageFiles(QStringLiteral("run.mid")), (QStringList{"0003.jpg", "0004.jpg", "0005.jpg"}));
    QVERIFY(window->Memo1->lines().contains(QStringLiteral("missing pages  1 2")));
    verifyPdf(QStringLiteral("run.mid"), {3, 4, 5});
}

void TestDownload::startedOnLastPage()
{
    openViewer(QStringLiteral("run.last"), 4, 4);
    runFast();
    window->downloadbtn->click();
    waitForEnd();
    QCOMPARE(pageFiles(QStringLiteral("run.last")), QStringList{"0004.jpg"});
    QCOMPARE(window->chm->MainFrameUrl(), site->viewerUrl(QStringLiteral("run.last"), 4)); // no page turn
    QVERIFY(!window->Memo1->lines().join(QLatin1Char('\n')).contains(QLatin1String("Loading page")));
    verifyPdf(QStringLiteral("run.last"), {4});
}

void TestDownload::stopThenDownloadAgain()
{
    openViewer(QStringLiteral("run.stop"), 1, 4);
    runFast();
    window->downloadbtn->click();
    QTRY_VERIFY_WITH_TIMEOUT(pageFiles(QStringLiteral("run.stop")).contains(QStringLiteral("0002.jpg")), 30000);
    window->stopbtn->click();
    QVERIFY(!window->Controller->Working());
    QCOMPARE(window->Memo1->lines().mid(window->Memo1->lines().size() - 2), (QStringList{"download end.", "user abort"}));
    QVERIFY(window->downloadbtn->isVisibleTo(window));
    QVERIFY(window->rebuildbtn->isVisibleTo(window));
    QVERIFY(!window->Controller->Ticking());
    QVERIFY(!QFile::exists(AppFolders().dataFolder + QStringLiteral("run.stop.pdf"))); // no PDF on Stop
    QTRY_VERIFY(!window->Controller->Busy()); // the tick that was running when Stop came ends
    QVERIFY(!window->Controller->Ticking());

    const QString first = PageFilePath(QStringLiteral("run.stop"), 1);
    const QDateTime firstWritten = QFileInfo(first).lastModified();
    QTRY_COMPARE_WITH_TIMEOUT(window->addressed->text(), window->chm->MainFrameUrl(), 5000);
    window->downloadbtn->click(); // goes on from the page on display
    waitForEnd();
    QCOMPARE(QFileInfo(first).lastModified(), firstWritten); // kept, not captured again
    QCOMPARE(pageFiles(QStringLiteral("run.stop")), (QStringList{"0001.jpg", "0002.jpg", "0003.jpg", "0004.jpg"}));
    verifyPdf(QStringLiteral("run.stop"), {1, 2, 3, 4});
}

void TestDownload::rebuildAfterRun()
{
    openViewer(QStringLiteral("run.rebuild"), 1, 2);
    runFast();
    window->downloadbtn->click();
    waitForEnd();
    const QString pdf = AppFolders().dataFolder + QStringLiteral("run.rebuild.pdf");
    QVERIFY(QFile::remove(pdf));
    openedFolders.clear();
    window->rebuildbtn->click();
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines().mid(window->Memo1->lines().size() - 2), (QStringList{"pdf page 2", "save pdf file " + pdf}), 20000);
    QCOMPARE(openedFolders, QList<QUrl>{QUrl::fromLocalFile(AppFolders().dataFolder)});
    QVERIFY(!window->Controller->Working()); // Rebuild starts no run
    verifyPdf(QStringLiteral("run.rebuild"), {1, 2});
}

void TestDownload::navigatingViewer()
{
    openViewer(QStringLiteral("run.navigating"), 1, 3);
    runFast();
    window->downloadbtn->click();
    waitForEnd();
    QCOMPARE(window->chm->MainFrameUrl(), site->viewerUrl(QStringLiteral("run.navigating"), 3));
    verifyPdf(QStringLiteral("run.navigating"), {1, 2, 3});
}

void TestDownload::pageImageUnavailableOnce()
{
    openViewer(QStringLiteral("run.flaky"), 1, 3);
    window->downloadbtn->click(); // at the real pacing
    waitForEnd();
    // The 503, then the page script's one request to learn why the image failed, which brought
    // the image: the empty canvas of the failed image never became a page.
    QCOMPARE(site->hits(QStringLiteral("/img?id=run.flaky&seq=2")), 2);
    QCOMPARE(pageFiles(QStringLiteral("run.flaky")), (QStringList{"0001.jpg", "0002.jpg", "0003.jpg"}));
    QVERIFY(QFileInfo(PageFilePath(QStringLiteral("run.flaky"), 2)).size() > 0);
    QVERIFY(!window->Memo1->lines().join(QLatin1Char('|')).contains(QLatin1String("missing pages")));
    verifyPdf(QStringLiteral("run.flaky"), {1, 2, 3});
}

void TestDownload::addressWithFragment()
{
    // Opened with a fragment, which the book's id keeps; the viewer's address keeps the
    // fragment over the page turns, but not in the id's piece of the query.
    fixture.typeAddress(site->url(QStringLiteral("/cgi/pt?id=run.fragment#page/5")));
    QTRY_COMPARE_WITH_TIMEOUT(window->Memo1->lines(), (QStringList{QString(), "Ready to download", "run.fragment#page/5", "Total pages 3"}), 20000);
    runFast();
    window->downloadbtn->click();
    waitForEnd();
    QCOMPARE(window->chm->MainFrameUrl(), site->url(QStringLiteral("/cgi/pt?id=run.fragment&seq=3#page/5")));
    const QStringList lines = window->Memo1->lines();
    QVERIFY2(!lines.join(QLatin1Char('|')).contains(QLatin1String("download stopped")), qPrintable(lines.join(QLatin1Char('|'))));
    // One book: its folder and PDF named after the id the run started with.
    QCOMPARE(window->Book->id, QStringLiteral("run.fragment#page/5"));
    QCOMPARE(pageFiles(QStringLiteral("run.fragment#page5")), (QStringList{"0001.jpg", "0002.jpg", "0003.jpg"}));
    verifyPdf(QStringLiteral("run.fragment"), {1, 2, 3}, QStringLiteral("run.fragment#page5"));
}

void TestDownload::failedFirstCaptureAfterAnotherBook()
{
    openViewer(QStringLiteral("run.before"), 5, 5);
    runFast();
    window->downloadbtn->click();
    waitForEnd();
    QCOMPARE(window->Book->curpage, 5);

    // A book whose pages cannot be captured: the number 5 left over must not end the run,
    // and the run still ends by itself, writing no PDF.
    openViewer(QStringLiteral("run.down"), 1, 3);
    window->downloadbtn->click();
    waitForEnd(120000);
    const QStringList lines = window->Memo1->lines();
    QVERIFY2(lines.contains(QStringLiteral("The page on display could not be captured")), qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY(lines.contains(QStringLiteral("The viewer does not move on to another page")));
    QVERIFY(lines.contains(QStringLiteral("No page of the book is stored: no pdf file written")));
    QCOMPARE(pageFiles(QStringLiteral("run.down")), QStringList());
    QVERIFY(!QFile::exists(AppFolders().dataFolder + QStringLiteral("run.down.pdf")));
}

void TestDownload::errorInTickEndsTheRun()
{
    // A folder where the first page's file should be: the page cannot be stored, and the run
    // cannot go on after that.
    QVERIFY(QDir().mkpath(PageFilePath(QStringLiteral("run.blocked"), 1)));
    openViewer(QStringLiteral("run.blocked"), 1, 2);
    runFast();
    window->downloadbtn->click();
    QTRY_COMPARE_WITH_TIMEOUT(errors.size(), 1, 20000);
    QVERIFY2(errors.first().contains(PageFilePath(QStringLiteral("run.blocked"), 1)), qPrintable(errors.first()));
    errors.clear();
    QVERIFY(!window->Controller->Working());
    QTRY_VERIFY(!window->Controller->Busy());
    QVERIFY(!window->Controller->Ticking());
    QVERIFY(window->downloadbtn->isVisibleTo(window));
    QVERIFY(!window->stopbtn->isVisibleTo(window));
    QCOMPARE(window->Memo1->lines().last(), QStringLiteral("download end."));
}

void TestDownload::closeDuringRun()
{
    openViewer(QStringLiteral("run.mid"), 1, 5);
    runFast();
    window->downloadbtn->click();
    QTRY_VERIFY_WITH_TIMEOUT(window->Memo1->lines().endsWith(QStringLiteral("Loading page 2 / 5 ...")), 20000);
    QVERIFY(!window->close()); // the browser closes first
    QVERIFY(!window->Controller->Ticking()); // no tick reaches a browser that is going
    QTRY_VERIFY_WITH_TIMEOUT(window->canClose(), 20000);
    QTRY_VERIFY(!window->Controller->Busy());
    QVERIFY(!window->Controller->Ticking());
    window->setWorking(false);
    QVERIFY(!KeepAwake::Requested());
}

void TestDownload::searchableBook()
{
    // "Searchable PDF" is ticked by default with the English model installed.
    QVERIFY(window->searchablebox->isChecked());
    openViewer(QStringLiteral("run.text"), 1, 2);
    runFast();
    window->downloadbtn->click();
    waitForEnd();
    const QString pdf = AppFolders().dataFolder + QStringLiteral("run.text.pdf");
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    // Each page's words are found on that page, and the results are kept beside the pages.
    for (int page = 1; page <= 2; ++page) {
        const QString text = PdfCheck::run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                                                          QString::number(page), pdf, QStringLiteral("-")});
        for (const QString &word : ViewerSite::textPageWords(page))
            QVERIFY2(text.contains(word), qPrintable(QStringLiteral("page %1: %2 not in %3").arg(page).arg(word, text)));
        QVERIFY(QFile::exists(PageFolderPath(QStringLiteral("run.text")) + QStringLiteral("ocr/") + PageFileName(page).replace(QStringLiteral(".jpg"), QStringLiteral(".ocr"))));
    }
}

QM_TEST_MAIN_WITH(TestDownload, PrepareEngineProcess())
#include "tst_download.moc"
