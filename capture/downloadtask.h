#pragma once

#include "bookbuilds.h"
#include "bookpage.h"
#include "capturedpage.h"
#include "downloadrun.h"
#include "runprogress.h"
#include "scriptrunner.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <memory>

class IBrowser;
class QTimer;
class TePubobj;
class TPageRecognition;

// A download run and everything around it: the state machine a one-second tick advances, the
// start and end of a run, book page detection, Rebuild and the run's closing build. The
// window forwards its buttons, its timer and its book-page message here and shows what the
// signals tell it.
//
// Nothing here waits inside a tick: a capture, a page turn or a build is started by a tick,
// and the tick ends when it has ended (its callback re-arms the timer). So ticks never nest
// and the window answers throughout; a Download pressed while the last run's capture or
// closing build is still under way starts the new run once it has ended.
class TDownloadTask : public QObject
{
    Q_OBJECT
public:
    TDownloadTask(IBrowser &browser, TePubobj &book, const QString &pageScript, QTimer &timer, QObject *parent = nullptr);
    ~TDownloadTask() override;

    TDownloadRun &run() { return m_run; }
    const TDownloadRun &run() const { return m_run; }
    TScriptRunner &scripts() { return m_scripts; }

    // The window's commands.
    void downloadbtnClick();
    void stopbtnClick();
    void rebuildbtnClick();
    void setWorking(bool Value);
    void Timer1Timer();
    void Taskhandle();
    // A book viewer page has loaded: identify the book, ask for its page count, offer
    // Rebuild when its pages are stored.
    void WMBookPage();
    // The window is closing: no tick, capture or build goes on; a build stops at its next
    // page, keeping the earlier PDF.
    void Close();

    // Asks the viewer for the book's page count (arrives as a console message); Rebuild is
    // offered once it has come, when the book has stored pages.
    void Getpagemeter();
    // Captures the page on display and stores a usable report (more than 10 characters) as
    // the book's page file, when its image passes the check of StoreCapturedPage. done
    // follows with whether a page was stored, or the error that storing it raised.
    void savepage(std::function<void(bool stored, const QString &error)> done);

    // Events of the browser's main frame (connected in the constructor).
    void chmAddressChange(int browserId, bool isMainFrame, const QString &url);
    void chmLoadEnd(int browserId, bool isMainFrame, const QString &url);
    LoadEndResult Loadendhandle(const QString &url);

    // A capture, a page turn or the closing build of a run is under way.
    bool Busy() const;

    // Ticks to wait for the viewer after a page turn, set at every run start.
    int RunPageWaitTicks = 30;
    // The longest wait for a page script's report. A copy drawn on a canvas of an A4 colour
    // scan at 300 dpi (40 million characters) takes a few seconds; a page script that fails
    // is known at once from its end marker or the probe behind it, so this only matters when
    // the page hangs.
    int CaptureTimeoutMs = 60000;
    // The language whose text is recognised in the stored pages and laid over them in the
    // PDF ("eng", "deu+eng"); empty for image-only PDFs.
    void SetOcrLanguage(const QString &language);

    // Captures of the page on display before it is given up and the run goes on.
    static constexpr int MaxCaptureAttempts = 3;
    // Page turns in a row after which the viewer did not move before the run ends.
    static constexpr int MaxStuckTurns = 3;

signals:
    void WorkingChanged(bool working);   // a run started or ended: Stop or Download
    void TickCountChanged(int tickCount);
    void BookPageLoaded();               // offer Download, then identify the book
    void OtherPageLoaded();              // no Download, no Rebuild
    void RebuildAvailable(bool available);
    void OpenOutputFolder();
    // How far the run or a build has come (value of maximum, with a line of text), and that
    // nothing runs any more.
    void Progress(int value, int maximum, const QString &text);
    void ProgressEnded();

private:
    void captureTick();
    void pageWaitTick();
    void buildTick();
    void startCapture();
    bool captured(bool stored, const QString &error);
    void giveUpPage();
    void turnPage();
    bool closingBuildEnded(const BookBuildOutcome &outcome);
    void endTest();
    // An asynchronous part of a tick has ended: rest() decides whether the run ticks on.
    void endTick(quint64 generation, const std::function<bool()> &rest);
    void rearm();
    void startRequestedRun();
    void checkBook(const QString &url);
    void pageStored();
    void notifyOutcome(const BookBuildOutcome &outcome, bool run);

    IBrowser &m_browser;
    TePubobj &m_book;
    const QString &m_pageScript;
    QTimer &m_timer;
    TDownloadRun m_run;
    TScriptRunner m_scripts;
    TBookBuilds m_builds;

    quint64 m_generation = 0;      // one per run start
    bool m_tickPending = false;    // a tick's capture or page turn has not ended yet
    bool m_discardCapture = false; // the run left its book: a late report is not stored
    bool m_startRequested = false; // Download was pressed while the last run was busy
    bool m_closing = false;
    QString m_leftBookLine;        // why the last run stopped, kept over the next book's log
    RunProgress m_progress;        // pages stored in this run, and their pace
    int m_lastStoredPage = 0;      // the highest page stored in this run
    std::unique_ptr<TPageRecognition> m_recognition; // made when text is first asked for
    CapturedPage m_capture;        // what the last capture stored, or why not
    QSet<QString> m_waysLogged;    // the ways pages came in this run that the log has said
};
