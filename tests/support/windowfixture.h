#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

struct CaptureResult;
class QWebEngineProfile;
class TMainfm;
class ViewerSite;

// The program's window with a real browser, for the window tests against the test viewer site,
// shared by them all: the site (books are added to it in initTestCase), one browser profile in
// the temporary HOME for the whole test, a new window per test function, failures reported
// through the program's reporter recorded in errors, and the folders the program would open
// recorded in openedFolders instead of opened.
class WindowFixture : public QObject
{
    Q_OBJECT
public:
    // initTestCase: the site is started first; call setUp once its books are added.
    bool startSite();
    void setUp();
    // cleanupTestCase.
    void tearDown();

    // init: a new window, once its home page has loaded.
    bool openWindow();
    // cleanup: a run still going is stopped, the window closed the two-step way and deleted.
    bool closeWindow();

    // Loads url into the main frame and waits for its load end.
    bool loadAndWait(const QString &url);
    // Types url into the address bar and presses Enter, as a user does.
    void typeAddress(const QString &url);
    // Types the book's viewer address at page seq, as a user does, and waits until the window
    // has identified the book and its page count, its log tells just that, and it offers
    // Download.
    bool openViewer(const QString &id, int seq, int total);
    // Captures the page on display as a run does and waits for what came of it; the page
    // report as the page printed it goes to *report when asked for (the run lets go of a
    // report once its page is stored). False when nothing came in time.
    bool capturePage(CaptureResult *result, QString *report = nullptr);
    // Runs tick fast: a test counts ticks, it does not time them.
    void runFast(int tickMs = 20);
    // Waits until the run has ended ("download end." in the log).
    bool waitForEnd(int timeoutMs = 120000);
    // The activity log, a line each, and joined for a failure's message.
    QStringList lines() const;
    QString log() const;

    ViewerSite *site = nullptr;
    TMainfm *window = nullptr;
    QWebEngineProfile *profile = nullptr;
    QStringList errors;
    QList<QUrl> openedFolders;

public slots:
    // The handler of file: addresses (no file manager in a test).
    void openFolder(const QUrl &url) { openedFolders << url; }
};
