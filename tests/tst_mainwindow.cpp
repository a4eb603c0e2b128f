#include "MainUnit.h"
#include "resourcetext.h"
#include "aboutbox.h"
#include "activitylog.h"
#include "anchoredpanel.h"
#include "chromium.h"
#include "engineprofile.h"
#include "folders.h"
#include "logmemo.h"
#include "pagesync.h"
#include "testenv.h"
#include "viewersite.h"
#include "windowfixture.h"
#include "vbooks.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QToolButton>
#include <QWebEngineView>
#include <QCheckBox>
#include <QComboBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QtTest>

// Records the addresses the program hands to the user's own browser.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void startState();
    void browserWindowBounds_data();
    void browserWindowBounds();
    void logRoutines();
    void addressBarEnterAndGo();
    void homeLoadsThenReloads();
    void loadOrReloadComparesExactly();
    void backAndForward();
    void addressBarFollowsOwnMainFrameOnly();
    void popupToBlankOpensWindow();
    void popupToAddressLoadsInMainFrame();
    void helpOpensHelpPage();
    void aboutBox();
    void closeInTwoPasses();
    void closeWithoutBrowser();
    void searchablePdfOption();
    void searchablePdfWithoutModel();

private:
    QWebEnginePage *page() const { return window->chm->View()->page(); }

    WindowFixture fixture;
    ViewerSite *site = nullptr;
    TMainfm *window = nullptr;
    QStringList &errors = fixture.errors;
};

void TestMainWindow::initTestCase()
{
    QVERIFY(fixture.startSite());
    site = fixture.site;
    site->addPage(QStringLiteral("/page"), "<html><body>page</body></html>");
    site->addPage(QStringLiteral("/PAGE"), "<html><body>PAGE</body></html>");
    site->addPage(QStringLiteral("/a"), "<html><body>a</body></html>");
    site->addPage(QStringLiteral("/b"), "<html><body>b</body></html>");
    site->addPage(QStringLiteral("/framed"), "<html><body><iframe id=\"f\" src=\"/a\"></iframe></body></html>");
    fixture.setUp();
}

void TestMainWindow::init()
{
    QVERIFY(fixture.openWindow());
    window = fixture.window;
    QCOMPARE(window->addressed->text(), site->homeUrl());
}

void TestMainWindow::cleanup()
{
    QVERIFY(fixture.closeWindow());
    QCOMPARE(errors, QStringList());
}

void TestMainWindow::cleanupTestCase()
{
    fixture.tearDown();
}

void TestMainWindow::startState()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Quillmoor Downloader"));
    QCOMPARE(QApplication::applicationDisplayName(), QStringLiteral("Quillmoor Downloader"));
    QCOMPARE(window->Memo1->lines(),
             QStringList{"Copy book link from browser, paste in address bar and open ebook,  click \"download\" "
                         "button to download ebook when it is ready"});
    QCOMPARE(window->PageScript, ResourceText(QStringLiteral("jsQM"), QStringLiteral("HTML")));

    QVERIFY(!window->downloadbtn->isEnabled());
    QVERIFY(window->downloadbtn->isVisibleTo(window));
    QVERIFY(!window->stopbtn->isVisibleTo(window));
    QCOMPARE(window->stopbtn->geometry(), window->downloadbtn->geometry());
    QCOMPARE(window->downloadbtn->geometry(), QRect(32, 6, 121, 43));
    QVERIFY(!window->rebuildbtn->isVisibleTo(window));
    QVERIFY(!window->timelabel->isVisibleTo(window));
    QCOMPARE(window->ticklabel->text(), QStringLiteral("--"));
    QCOMPARE(window->panel6->height(), 139); // trimmed to the button row, the range, the progress bar and the text options
    QVERIFY(window->started->isVisibleTo(window));
    QVERIFY(window->ended->isVisibleTo(window));
    QCOMPARE(window->started->text(), QString());
    QCOMPARE(window->ended->text(), QString());
    QVERIFY(!window->progressbar->isVisibleTo(window));
    QCOMPARE(window->Panel5->height(), 3);
    QCOMPARE(window->Panel1->height(), 45);
    QCOMPARE(window->Panel2->width(), 248);
    QCOMPARE(window->IconImage->pixmap().size(), QSize(49, 45));

    const QList<QPair<QWidget *, QString>> hints = {
        {window->homebtn, "Home"}, {window->backbtn, "Go Back"}, {window->forwardbtn, "Go Forward"},
        {window->gobtn, "Go"}, {window->SpeedButton1, "Help"}, {window->Aboutbtn, "About"}};
    for (const auto &[widget, hint] : hints)
        QCOMPARE(widget->toolTip(), hint);
    QCOMPARE(window->SpeedButton1->text(), QStringLiteral("Help"));
    QCOMPARE(window->Aboutbtn->text(), QStringLiteral("About"));
    QCOMPARE(window->downloadbtn->text(), QStringLiteral("Download"));
    QCOMPARE(window->rebuildbtn->text(), QStringLiteral("Rebuild"));

    // Once the browser exists the window takes its working size; the toolbar's right-hand
    // controls keep their distance to the right edge, the address bar stretches.
    const QRect expected = TMainfm::BrowserWindowBounds(window->screen()->availableGeometry());
    QCOMPARE(window->frameGeometry().size(), expected.size());
    QCOMPARE(window->Aboutbtn->geometry().right(), window->Panel1->width() - 1);
    QCOMPARE(window->gobtn->x(), window->Panel1->width() - 270 - 33);
    QCOMPARE(window->addressed->geometry().right() + 1, window->gobtn->x());
}

void TestMainWindow::browserWindowBounds_data()
{
    QTest::addColumn<QRect>("workArea");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("1920x1040") << QRect(0, 0, 1920, 1040) << QRect(210, 40, 1500, 960);
    QTest::newRow("narrower than the window") << QRect(0, 0, 1366, 728) << QRect(-67, 40, 1500, 648);
    QTest::newRow("truncates toward zero") << QRect(0, 0, 1499, 601) << QRect(0, 40, 1500, 521);
    QTest::newRow("origin not added") << QRect(100, 30, 1600, 900) << QRect(50, 40, 1500, 820);
}

void TestMainWindow::browserWindowBounds()
{
    QFETCH(QRect, workArea);
    QFETCH(QRect, expected);
    QCOMPARE(TMainfm::BrowserWindowBounds(workArea), expected);
}

void TestMainWindow::logRoutines()
{
    AddLog(QStringLiteral("a"));
    AddLog(QStringLiteral("b"));
    SetLastLog(QStringLiteral("c"));
    QCOMPARE(window->Memo1->lines().mid(1), (QStringList{"a", "c"}));
    ClearLog(QString());
    QCOMPARE(window->Memo1->lines(), QStringList{QString()});
    AddLog(QStringLiteral("Ready to download"));
    QCOMPARE(window->Memo1->lines(), (QStringList{QString(), "Ready to download"}));
    ClearLog(QStringLiteral("downloading ...."));
    SetLastLog(QStringLiteral("Save page 1 / 3 ..."));
    QCOMPARE(window->Memo1->lines(), QStringList{"Save page 1 / 3 ..."});
}

void TestMainWindow::addressBarEnterAndGo()
{
    // Enter loads the text exactly as typed.
    const QString viewer = site->viewerUrl(QStringLiteral("book.1"));
    window->addressed->setText(viewer);
    QTest::keyClick(window->addressed, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->MainFrameUrl(), viewer, 20000);
    QCOMPARE(window->addressed->text(), viewer);

    window->addressed->setText(site->url(QStringLiteral("/page")));
    window->gobtn->click();
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->MainFrameUrl(), site->url(QStringLiteral("/page")), 20000);

    // Other keys only edit: no load starts, by the time the page has answered a script.
    QSignalSpy loads(page(), &QWebEnginePage::loadStarted);
    QTest::keyClicks(window->addressed, QStringLiteral("x"));
    QCOMPARE(evaluateJavaScript(page(), QStringLiteral("location.pathname")).toString(), QStringLiteral("/page"));
    QCOMPARE(loads.count(), 0);
    QCOMPARE(window->chm->MainFrameUrl(), site->url(QStringLiteral("/page")));
    QCOMPARE(window->addressed->text(), site->url(QStringLiteral("/pagex")));
}

void TestMainWindow::homeLoadsThenReloads()
{
    const QString kind = QStringLiteral("performance.getEntriesByType('navigation')[0].type");
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/page"))));
    const int homeHits = site->hits(QStringLiteral("/"));

    window->homebtn->click(); // another page shown: load
    QTRY_COMPARE_WITH_TIMEOUT(site->hits(QStringLiteral("/")), homeHits + 1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->MainFrameUrl(), site->homeUrl(), 20000);
    QTRY_COMPARE(evaluateJavaScript(page(), kind).toString(), QStringLiteral("navigate"));

    window->homebtn->click(); // the home page shown: reload
    QTRY_COMPARE_WITH_TIMEOUT(site->hits(QStringLiteral("/")), homeHits + 2, 20000);
    QTRY_COMPARE(evaluateJavaScript(page(), kind).toString(), QStringLiteral("reload"));
}

void TestMainWindow::loadOrReloadComparesExactly()
{
    const QString kind = QStringLiteral("performance.getEntriesByType('navigation')[0].type");
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/page"))));
    // Another letter case is another address: loaded, not reloaded.
    window->LoadOrReload(site->url(QStringLiteral("/PAGE")));
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->MainFrameUrl(), site->url(QStringLiteral("/PAGE")), 20000);
    QTRY_COMPARE(evaluateJavaScript(page(), kind).toString(), QStringLiteral("navigate"));
    const int hits = site->hits(QStringLiteral("/PAGE"));
    window->LoadOrReload(site->url(QStringLiteral("/PAGE")));
    QTRY_COMPARE_WITH_TIMEOUT(site->hits(QStringLiteral("/PAGE")), hits + 1, 20000);
    QTRY_COMPARE(evaluateJavaScript(page(), kind).toString(), QStringLiteral("reload"));
}

void TestMainWindow::backAndForward()
{
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/a"))));
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/b"))));
    window->backbtn->click();
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->MainFrameUrl(), site->url(QStringLiteral("/a")), 20000);
    QTRY_COMPARE(window->addressed->text(), site->url(QStringLiteral("/a")));
    window->forwardbtn->click();
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->MainFrameUrl(), site->url(QStringLiteral("/b")), 20000);
    QTRY_COMPARE(window->addressed->text(), site->url(QStringLiteral("/b")));
}

void TestMainWindow::addressBarFollowsOwnMainFrameOnly()
{
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/framed"))));
    QTRY_COMPARE(window->addressed->text(), site->url(QStringLiteral("/framed")));

    // A sub-frame navigation leaves the address bar alone.
    const int hits = site->hits(QStringLiteral("/b"));
    page()->runJavaScript(QStringLiteral("document.getElementById('f').src = '/b';"));
    QTRY_COMPARE_WITH_TIMEOUT(site->hits(QStringLiteral("/b")), hits + 1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(evaluateJavaScript(page(), QStringLiteral("document.getElementById('f').contentDocument.readyState")).toString(),
                              QStringLiteral("complete"), 20000); // the sub-frame has loaded /b
    QCOMPARE(window->addressed->text(), site->url(QStringLiteral("/framed")));

    // Typed text stays until the main frame's address changes.
    window->addressed->setText(QStringLiteral("typed"));
    page()->runJavaScript(QStringLiteral("history.pushState({}, '', '/framed?seq=2');"));
    QTRY_COMPARE(window->addressed->text(), site->url(QStringLiteral("/framed?seq=2")));

    // Another browser's address changes change nothing.
    window->chmAddressChange(window->chm->BrowserId() + 1000, true, QStringLiteral("http://elsewhere/"));
    QCOMPARE(window->addressed->text(), site->url(QStringLiteral("/framed?seq=2")));
}

void TestMainWindow::popupToBlankOpensWindow()
{
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/a"))));
    QSignalSpy loads(page(), &QWebEnginePage::loadStarted);
    page()->runJavaScript(QStringLiteral("window.open('about:blank');"));
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->PopupCount(), 1, 20000);
    // The main frame has answered a script since, and loaded nothing.
    QCOMPARE(evaluateJavaScript(page(), QStringLiteral("location.pathname")).toString(), QStringLiteral("/a"));
    QCOMPARE(loads.count(), 0);
    QCOMPARE(window->chm->MainFrameUrl(), site->url(QStringLiteral("/a")));
}

void TestMainWindow::popupToAddressLoadsInMainFrame()
{
    QVERIFY(fixture.loadAndWait(site->url(QStringLiteral("/a"))));
    page()->runJavaScript(QStringLiteral("window.open('/b', '_blank');"));
    QTRY_COMPARE_WITH_TIMEOUT(window->chm->MainFrameUrl(), site->url(QStringLiteral("/b")), 20000);
    QCOMPARE(window->chm->PopupCount(), 0);
}

void TestMainWindow::helpOpensHelpPage()
{
    UrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
    window->SpeedButton1->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(recorder.opened, QList<QUrl>{QUrl(QStringLiteral("https://www.brindlewick.com/download/help.php?id=55"))});
}

void TestMainWindow::aboutBox()
{
    bool seen = false;
    QTimer::singleShot(0, this, [&] {
        auto *about = qobject_cast<TAboutfm *>(QApplication::activeModalWidget());
        QVERIFY(about);
        seen = true;
        QCOMPARE(about->size(), QSize(445, 260));
        QVERIFY(about->windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(about->windowTitle(), QStringLiteral("Quillmoor Downloader"));
        const QRegularExpression fourPart(QStringLiteral("^Version:\\d+\\.\\d+\\.\\d+\\.\\d+$"));
        QVERIFY(about->findChild<QLabel *>(QStringLiteral("version"))->text().contains(fourPart));
        const auto buttons = about->findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 1);
        buttons.first()->click();
    });
    window->Aboutbtn->click(); // modal: returns once OK closed it
    QVERIFY(seen);
}

void TestMainWindow::closeInTwoPasses()
{
    QSignalSpy closed(window, &TMainfm::Closed);
    QVERIFY(!window->close()); // first pass: refused, the browser closes
    QVERIFY(window->closing());
    QVERIFY(!window->isVisible());
    QVERIFY(!window->close()); // while closing: no effect
    QCOMPARE(closed.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 20000); // the browser's report closes the window
    QVERIFY(window->canClose());
    QVERIFY(!window->chm->HasBrowser());
    QVERIFY(!window->CEFWin);

    // Nothing reaches a browser that is gone.
    window->backbtnClick();
    window->homebtnClick();
    window->addressed->setText(site->url(QStringLiteral("/a")));
    window->addressedKeyPress(QChar(13));
    window->gobtnClick();
    QCOMPARE(window->chm->MainFrameUrl(), QString());
}

void TestMainWindow::closeWithoutBrowser()
{
    TMainfm noBrowser(nullptr);
    QVERIFY(!noBrowser.chm->HasBrowser());
    // The fixture's window may still fetch things of its own (a favicon): count what these
    // buttons would load.
    const int pageHits = site->hits(QStringLiteral("/a"));
    const int homeHits = site->hits(QStringLiteral("/"));
    noBrowser.addressed->setText(site->url(QStringLiteral("/a")));
    QTest::keyClick(noBrowser.addressed, Qt::Key_Return);
    noBrowser.gobtn->click();
    noBrowser.backbtn->click();
    noBrowser.forwardbtn->click();
    noBrowser.homebtn->click();
    QCoreApplication::processEvents(); // nothing is left to ask for a page: there is no browser
    QCOMPARE(site->hits(QStringLiteral("/a")), pageHits);
    QCOMPARE(site->hits(QStringLiteral("/")), homeHits);

    QSignalSpy closed(&noBrowser, &TMainfm::Closed);
    QVERIFY(noBrowser.close()); // nothing to wait for
    QCOMPARE(closed.count(), 1);
}

void TestMainWindow::searchablePdfOption()
{
    // English is installed: ticked, English, and what the user chooses is kept.
    QVERIFY(window->searchablebox->isEnabled());
    QVERIFY(window->searchablebox->isChecked());
    QCOMPARE(window->languagebox->currentText(), QStringLiteral("eng"));
    QCOMPARE(window->Controller->Settings.ocrLanguage, QStringLiteral("eng"));
    window->searchablebox->click();
    QCOMPARE(window->Controller->Settings.ocrLanguage, QString());
    QVERIFY(!window->languagebox->isEnabled());
    QVERIFY(fixture.closeWindow());
    QVERIFY(fixture.openWindow());
    window = fixture.window;
    QVERIFY(!window->searchablebox->isChecked()); // kept between sessions
    QCOMPARE(window->Controller->Settings.ocrLanguage, QString());
    window->searchablebox->click();
    QCOMPARE(window->Controller->Settings.ocrLanguage, QStringLiteral("eng"));
}

void TestMainWindow::searchablePdfWithoutModel()
{
    QVERIFY(fixture.closeWindow());
    QTemporaryDir noModels;
    qputenv("TESSDATA_PREFIX", QFile::encodeName(noModels.path()));
    const bool opened = fixture.openWindow();
    qunsetenv("TESSDATA_PREFIX");
    QVERIFY(opened);
    window = fixture.window;
    QVERIFY(!window->searchablebox->isEnabled());
    QVERIFY(!window->searchablebox->isChecked());
    QVERIFY2(window->searchablebox->toolTip().contains(QStringLiteral("tesseract-ocr-eng")), qPrintable(window->searchablebox->toolTip()));
    QCOMPARE(window->Controller->Settings.ocrLanguage, QString());
}

QM_TEST_MAIN_WITH(TestMainWindow, PrepareEngineProcess())
#include "tst_mainwindow.moc"
