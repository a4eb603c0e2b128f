#pragma once

#include "bookbuilds.h"
#include "bookpage.h"
#include "capturedpage.h"
#include "downloadrun.h"
#include "pacing.h"
#include "pagerange.h"
#include "runlog.h"
#include "scriptrunner.h"

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>

class IBrowser;
class TePubobj;
class TPageRecognition;

// How a download run ended.
struct RunOutcome
{
    enum Kind {
        Complete,     // the PDF holds every page the run was to capture
        PagesMissing, // the PDF was written without some pages (listed in missing)
        NoPages,      // no page of the book is stored: no PDF
        Stopped,      // Stop (or the program's end): pages kept, no build
        LeftBook,     // the viewer left the book: pages kept, no build
    };
    Kind kind = Stopped;
    QString pdfPath;  // the PDF written
    QString missing;  // " 3 7": the pages not in it
    QString reason;   // for LeftBook: the log line that said why
};
Q_DECLARE_METATYPE(RunOutcome)

// A download run from start to end, in the program's own terms: it captures the book the viewer
// shows page by page on its own one-second tick, waits out a site that does not answer, builds
// the PDF, and says what happens through its signals. The window and a run without a window
// both drive it the same way: they call its commands and show what it signals.
//
// Nothing here waits inside a tick: a capture, a page turn or a build is started by a tick,
// and the tick ends when it has ended (its callback re-arms the timer). So ticks never nest
// and the program answers throughout; a Start while the last run's capture or closing build
// is still under way starts the new run once it has ended.
//
// A run captures the pages of its range (by default from the page on display to the book's
// end) that are not stored yet: it goes on at the first missing page and takes the viewer to
// pages by their address when they are not the next one. A page whose image does not load is
// tried again after growing waits (SitePatience) by loading the viewer at that page again; the
// pages given up are tried once more before the build.
class TDownloadController : public QObject
{
    Q_OBJECT
public:
    TDownloadController(IBrowser &browser, TePubobj &book, const QString &pageScript, QObject *parent = nullptr);
    ~TDownloadController() override;

    // ---- Commands ----
    // Starts a run on the book on display (Download). Throws AppError, starting nothing, when
    // the address gives no book the program can store or the range does not fit the book.
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
    // for its page count, offer Rebuild when its pages are stored. Called by the controller
    // itself after BookPageLoaded; public for a caller that knows the page is there.
    void IdentifyBook();
    // One tick of the run (the timer calls it).
    void Tick();

    // ---- Settings, read at each start ----
    void SetPageRange(const PageRange &range) { m_range = range; }
    const PageRange &pageRange() const { return m_range; }
    // The language whose text is recognised in the stored pages and laid over them in the
    // PDF ("eng", "deu+eng"); empty for image-only PDFs.
    void SetOcrLanguage(const QString &language);
    // Where PDFs are written (ends with "/"); empty: the data folder.
    void SetOutputFolder(const QString &folder);
    // The tick's interval (Pacing::TickIntervalMs; tests make it shorter).
    void SetTickInterval(int ms) { m_timer.setInterval(ms); }
    int TickInterval() const { return m_timer.interval(); }
    bool Ticking() const { return m_timer.isActive(); }

    // How long the run waits out a page whose image does not load: the waits after each failure
    // in turn (the last one repeats), the time after the first failure at which the page is
    // given up, and the longest Retry-After the site is obeyed for.
    struct Patience
    {
        QList<std::chrono::milliseconds> waits;
        std::chrono::milliseconds giveUpAfter;
        std::chrono::milliseconds longestRetryAfter;
    };
    static Patience DefaultPatience();
    Patience SitePatience = DefaultPatience();
    // Ticks to wait for the viewer after a page turn, set at every run start.
    int RunPageWaitTicks = Pacing::PageWaitTicks;
    // The longest wait for a page script's report. A copy drawn on a canvas of an A4 colour
    // scan at 300 dpi (40 million characters) takes a few seconds; a page script that fails
    // is known at once from its end marker or the probe behind it, so this only matters when
    // the page hangs.
    int CaptureTimeoutMs = 60000;

    // ---- State ----
    const TDownloadRun &run() const { return m_run; }
    TDownloadRun &run() { return m_run; }
    // The page count of the book on display (also between runs); 0 when not known.
    int TotalPages() const { return m_totalPages; }
    TScriptRunner &scripts() { return m_scripts; }
    // A capture, a page turn or the closing build of a run is under way.
    bool Busy() const;

    // Asks the viewer for the book's page count; BookIdentified follows once it has come.
    void Getpagemeter();
    // Captures the page on display and stores a usable report as the book's page file, when
    // its image passes the check of StoreCapturedPage. done follows with whether a page was
    // stored, or the error that storing it raised.
    void savepage(std::function<void(bool stored, const QString &error)> done);

    // Captures of the page on display in a row before the run waits for the site.
    static constexpr int MaxCaptureAttempts = Pacing::MaxCaptureAttempts;
    // Page turns in a row after which the viewer did not move before the run ends.
    static constexpr int MaxStuckTurns = 3;

signals:
    void LogLine(LogEdit edit, const QString &text);
    void WorkingChanged(bool working);   // a run started or ended: Stop or Download
    void TickCountChanged(int tickCount);
    void BookPageLoaded();               // offer Download; the book is identified next
    void OtherPageLoaded();              // no Download, no Rebuild
    // The book on display is known, and what the viewer said of its page count (0: unknown).
    void BookIdentified(const QString &bookId, int totalPages);
    void RebuildAvailable(bool available);
    void OpenOutputFolder();
    // How far the run or a build has come (value of maximum, with a line of text), and that
    // nothing runs any more.
    void Progress(int value, int maximum, const QString &text);
    void ProgressEnded();
    void PageStored(int page);
    void PageGivenUp(int page);
    // The run ended (after WorkingChanged(false)).
    void Finished(const RunOutcome &outcome);
    // Something failed that the user must be told of at once: the run stays on until Stop.
    void Failed(const QString &reason);
    // A moment worth a desktop notification.
    void Notice(const QString &summary, const QString &body);
    // The machine should stay awake (a run or its closing build is under way), or may sleep.
    void AwakeNeeded(bool needed);

private:
    // A run starts on the book on display (throws, changing nothing, when it cannot), or ends.
    void startRun();
    void endRun(const RunOutcome &outcome);
    // Where the run begins: the first page of its range not stored yet.
    void prepareRun(int onDisplay);
    void captureTick();
    void pageWaitTick();
    void siteWaitTick();
    void buildTick();
    void startCapture();
    bool captured(bool stored, const QString &error);
    void afterPage(int page);
    void waitForSite();
    void giveUpPage();
    void goToPage(int page);
    void endOfPages();
    void turnPage();
    // The run goes to state, counting its ticks from 0.
    void enterState(TaskState state);
    void viewerMoved();
    bool closingBuildEnded(const BookBuildOutcome &outcome);
    void endTest();
    int lastPage() const;
    int failingPage() const;
    bool wholeBookBuild() const;
    // An asynchronous part of a tick has ended: rest() decides whether the run ticks on.
    void endTick(quint64 generation, const std::function<bool()> &rest);
    void rearm();
    void startRequestedRun();
    void checkBook(const QString &url);
    void pageStored(int page);
    void notifyOutcome(const BookBuildOutcome &outcome, bool run);
    void pageCountRead(qint64 count);
    void addressChanged(int browserId, bool isMainFrame, const QString &url);
    void loadEnded(int browserId, bool isMainFrame, const QString &url);
    LoadEndResult loadEndResult(const QString &url);
    void guarded(const std::function<void()> &fn);

    IBrowser &m_browser;
    TePubobj &m_book;
    const QString &m_pageScript;
    QTimer m_timer;
    TRunLog m_log;
    TDownloadRun m_run;
    TScriptRunner m_scripts;
    TBookBuilds m_builds;
    PageRange m_range;

    int m_totalPages = 0;          // of the book on display, as the viewer said
    quint64 m_generation = 0;      // one per run start
    bool m_tickPending = false;    // a tick's capture or page turn has not ended yet
    bool m_startRequested = false; // Start came while the last run was busy
    bool m_closing = false;
    QString m_leftBookLine;        // why the last run stopped, kept over the next book's log
    std::unique_ptr<TPageRecognition> m_recognition; // made when text is first asked for
    CapturedPage m_capture;        // what the last capture stored, or why not
    QString m_fault;               // why the last capture had no image, as the page told it
};
