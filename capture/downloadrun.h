#pragma once

#include "capturedpage.h"
#include "runplan.h"
#include "runsettings.h"
#include "runprogress.h"
#include "sitewaitpolicy.h"

#include <QSet>
#include <QString>
#include <chrono>

// What a download run is doing, advanced by one tick a second.
enum class TaskState {
    Idle = 0,      // no run
    Capture = 10,  // tick 1: capture the page on display; tick 2: go on to the next page
    PageWait = 20, // wait for the viewer to show the page asked for
    SiteWait = 40, // a page's image did not load: wait, then load the viewer at that page again
    Build = 90,    // build the PDF and end the run
};

// One download run, made afresh at every start and owned by the download controller, which
// alone changes it. Its state table is here: what each tick of a state is for, and how the
// viewer's moves change the count of ticks.
struct TDownloadRun
{
    using Clock = std::chrono::steady_clock;

    // What a tick is for.
    enum class TickStep {
        None,         // waiting
        Capture,      // capture the page on display
        Turn,         // turn to the next page
        CaptureAgain, // a late move of the viewer passed the capture: the cycle starts again
        SiteWait,     // wait for the site, or load the viewer at the page again
        Build,        // build the PDF
    };

    TDownloadRun() = default;
    // A run started at url with the book's page count known then (0: not known), as settings
    // say, capturing the pages plan gives.
    TDownloadRun(const QString &url, int totalPages, const RunSettings &settings, RunPlan plan);

    // The run is in progress (it ends in Idle).
    bool Working() const { return state != TaskState::Idle; }

    // The next tick: it counts, and says what it is for.
    TickStep NextTick();
    // The run goes to state, counting its ticks from 0.
    void Enter(TaskState next);
    // The viewer moved on (its address changed, a new document loaded): the wait after a page
    // turn is cut short (a wait for the site is not).
    void ViewerMoved();
    // A document finished loading: the viewer moved on, or a capture under way starts its
    // cycle again.
    void DocumentLoaded();

    // Page was stored (before the plan is told): the progress counts it unless it is the same
    // page again (whether it counted is returned), and its failures so far are forgotten.
    bool PageStored(int page);
    // For the first page to come a way, the line that tells how it came.
    QString NewWayLine(const CapturedPage &how);

    TaskState state = TaskState::Idle;
    int TickCount = 0;              // ticks since the last state change
    int PageWaitTicks = 30;         // ticks to wait after a page turn

    QString startUrl;               // the viewer address the run started on
    int totalPages = 0;             // the book's page count when the run started; 0 not known
    bool wholeBook = true;          // no range: the PDF is the book's, of every page stored
    RunPlan plan;                   // which page comes next
    SiteWaitPolicy sitePolicy;      // what a failing page's image waits for
    RunProgress progress;           // pages stored in this run, and their pace
    bool discardCapture = false;    // the run left its book: a late report is not stored
    bool viewerDead = false;        // the page process ended: no page shows until one loads
    QString processEnded;           // it ended while something was under way: how
    Clock::time_point waitUntil;    // the end of the wait for the site under way

private:
    int m_highestStored = 0;        // the highest page stored in this run
    QSet<QString> m_waysTold;       // the ways pages came in this run that the log has told
};
