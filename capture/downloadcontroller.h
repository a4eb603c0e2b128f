#pragma once

#include "bookbuilds.h"
#include "bookondisplay.h"
#include "downloadrun.h"
#include "pagecapture.h"
#include "runevents.h"
#include "runsettings.h"
#include "scriptrunner.h"
#include "tickloop.h"
#include "viewerwatch.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class IBrowser;
class TePubobj;

// A download run from start to end: it captures the book the viewer shows page by page on its
// own tick, waits out a site that does not give a page's image, builds the PDF, and tells what
// happens as events (runevents.h). The window and a run without a window drive it the same
// way: they call its commands and write its events for the user.
//
// It is the one actor of a run: the rules live in classes that only decide (RunPlan: which page
// next; SiteWaitPolicy: try again, wait or give up; ViewerWatch: whether the viewer is still on
// the book), and the controller acts on their answers with the timer, the scripts and the
// build, and is the only place that changes the run.
//
// Nothing waits inside a tick: a capture, a page turn or a build is started by a tick, and the
// tick ends when it has ended (its callback re-arms the timer). So ticks never nest and the
// program answers throughout; a Start while the last run's capture or closing build is still
// under way starts the new run once it has ended.
class TDownloadController : public QObject
{
    Q_OBJECT
public:
    TDownloadController(IBrowser &browser, TePubobj &book, const QString &pageScript, QObject *parent = nullptr);
    ~TDownloadController() override;

    // ---- Commands ----
    // Starts a run on the book on display (Download). Throws AppError, starting nothing, when
    // the address gives no book the program can store, the range does not fit the book or the
    // book's folder cannot be made.
    void Start();
    // Ends the run (Stop): the pages are kept, a closing build under way stops and the earlier
    // PDF stays.
    void Stop();
    // Builds the PDF again from the stored pages.
    void Rebuild();
    // The program is closing: no tick, capture or build goes on; a build stops at its next
    // page, keeping the earlier PDF.
    void Close();
    // A book viewer page has loaded and the event loop has come round: identify the book, ask
    // for its page count, offer Rebuild when its pages are stored.
    void IdentifyBook();
    // One tick of the run (the timer calls it).
    void Tick();
    // Captures the page on display and stores a usable report as the book's page file.
    void savepage(PageCapture::Done done);

    // ---- Settings, read at each start ----
    RunSettings Settings;
    void SetPageRange(const PageRange &range) { Settings.range = range; }
    void SetOcrLanguage(const QString &language) { Settings.ocrLanguage = language; }
    void SetTickInterval(int ms)
    {
        Settings.tickMs = ms;
        m_ticks.SetInterval(ms);
    }

    // ---- State ----
    bool Working() const { return m_run.Working(); }
    TaskState State() const { return m_run.state; }
    int TickCount() const { return m_run.TickCount; }
    bool Ticking() const { return m_ticks.Ticking(); }
    // The book on display between runs: its signals offer Download or not and tell the book
    // identified. Its page count (also between runs); 0 when not known.
    const TBookOnDisplay &Display() const { return m_display; }
    int TotalPages() const { return m_display.TotalPages(); }
    // A capture, a page turn or the closing build of a run is under way.
    bool Busy() const { return m_ticks.Held() || m_builds.RunBuildPending(); }

signals:
    void Event(const RunEvent &event);
    void WorkingChanged(bool working);   // a run started or ended: Stop or Download
    void TickCountChanged(int tickCount);
    void RebuildAvailable(bool available);
    void OpenOutputFolder();
    // The run ended (after WorkingChanged(false)).
    void Finished(const RunOutcome &outcome);
    // Something failed that the user must be told of at once; writeFailed: a page file or the
    // PDF could not be written, or the run's pages would not fit.
    void Failed(const QString &reason, bool writeFailed);
    // The machine should stay awake (a run or its closing build is under way), or may sleep.
    void AwakeNeeded(bool needed);

private:
    void startRun();
    void endRun(RunOutcome outcome, bool viewerLeft = false);
    void runFailed(const QString &reason, bool writeFailed = false);
    void act(const RunPlan::Step &step);
    void siteWaitTick();
    void buildTick();
    void startCapture();
    bool captured(const CaptureResult &result);
    void pageStored(const CaptureResult &result);
    void pageFailed(const PageFailure &failure);
    void pageProcessEnded(const QString &how);
    void goToPage(int page);
    void turnPage();
    bool closingBuildEnded(const BookBuildOutcome &outcome);
    void startRequestedRun();
    bool onBook(const QString &url);
    void viewerMoved(const QString &url, bool newDocument);
    void guarded(const std::function<void()> &fn);

    IBrowser &m_browser;
    TePubobj &m_book;
    TickLoop m_ticks;
    TScriptRunner m_scripts;
    PageCapture m_capture;
    TBookBuilds m_builds;
    ViewerWatch m_watch;
    TBookOnDisplay m_display;
    TDownloadRun m_run;

    bool m_startRequested = false; // Start came while the last run was busy
    bool m_closing = false;
};
