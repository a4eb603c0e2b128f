#pragma once

#include "pagerange.h"
#include "runprogress.h"

#include <QList>
#include <QSet>
#include <QString>
#include <chrono>
#include <optional>

// What a download run is doing, advanced by one tick a second.
enum class TaskState {
    Idle = 0,      // no run
    Capture = 10,  // tick 1: capture the page on display; tick 2: go on to the next page
    PageWait = 20, // wait for the viewer to show the page asked for
    SiteWait = 40, // a page's image did not load: wait, then load the viewer at that page again
    Build = 90,    // build the PDF and end the run
};

// One download run, made afresh at every start and owned by the download controller. The
// parts the run uses report to the controller; only the controller changes this.
struct TDownloadRun
{
    using Clock = std::chrono::steady_clock;

    bool Working = false;           // the run is in progress
    TaskState state = TaskState::Idle;
    int TickCount = 0;              // ticks since the last state change
    int PageWaitTicks = 30;         // ticks to wait after a page turn

    QString bookId;                 // the book the run captures; other books end it
    QString startUrl;               // the viewer address the run started on
    PageSpan span;                  // the pages to capture; span.last 0: up to the book's end
    bool storedInRun = false;       // a page was stored in this run
    int lastStoredPage = 0;         // the highest page stored in this run
    int target = 0;                 // the page the run asked the viewer for; 0: the one on display
    int captureAttempts = 0;        // failed captures of the page on display so far
    int stuckTurns = 0;             // page turns in a row after which the viewer did not move
    bool movedSinceTurn = true;     // the viewer moved on since the last page turn
    int pageAtTurn = 0;             // the last stored page when the page was last turned
    bool discardCapture = false;    // the run left its book: a late report is not stored
    RunProgress progress;           // pages stored in this run, and their pace
    QSet<QString> waysLogged;       // the ways pages came in this run that the log has said

    // Waiting out the site for the page whose image does not load.
    int waits = 0;                  // waits so far for that page
    bool faultKnown = false;        // the site said why (then the page script asks no more)
    QString faultText;              // what it said: "HTTP 503", "no connection"
    std::optional<std::chrono::milliseconds> retryAfter; // the wait it asked for
    Clock::time_point failingSince; // its first failure
    Clock::time_point waitUntil;    // the end of the wait under way

    QList<int> givenUp;             // pages given up in this run, in order
    bool secondPass = false;        // the pages given up are being tried once more
    QList<int> secondPassPages;     // those still to try
};
