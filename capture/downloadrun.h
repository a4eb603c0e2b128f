#pragma once

#include <QString>

// States of a download run, advanced by one tick a second.
enum TaskStates : int {
    TaskCapture = 10,   // tick 1: capture the page on display; tick 2: turn the page
    TaskPageWait = 20,  // wait for the viewer to show the next page
    TaskBuild = 90,     // build the PDF and end the run
};

// The values of the download run, owned by the download task and handed by reference to
// the parts that read or change them. All of them live on the GUI thread.
struct TDownloadRun
{
    bool Working = false;          // a download run is in progress
    int TaskState = 0;             // TaskStates
    int TickCount = 0;             // ticks since the last state change
    int PageWaitTicks = 30;        // ticks to wait after a page turn
    int TotalPages = 0;            // page count of the open book (also between runs)
    QString LastPageReport;        // the page report of the capture under way, until it is stored

    // Bookkeeping of the run in progress, set afresh at every start.
    QString bookId;                // the book the run captures; other books end it
    bool storedInRun = false;      // a page was stored in this run
    int captureAttempts = 0;       // failed captures of the page on display so far
    int stuckTurns = 0;            // page turns in a row after which the viewer did not move
    bool movedSinceTurn = true;    // the viewer moved on since the last page turn
    int pageAtTurn = 0;            // the last stored page when the page was last turned
};
