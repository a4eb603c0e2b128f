#pragma once

#include <QString>

// Values of a download run shared by the window, the capture code and the tests. Every
// writer runs on the GUI thread (Qt delivers the browser's callbacks there), so plain values
// are enough: a page report is always stored before its end marker is seen.
struct RunState
{
    bool Working = false;          // a download run is in progress
    int TaskState = 0;             // state of the run
    int TickCount = 0;             // ticks since the last state change
    int PageWaitTicks = 30;        // ticks to wait after a page turn
    int TotalPages = 0;            // page count of the open book
    QString LastPageReport;        // text of the last page report
    bool ScriptEnded = false;      // the page script's end marker has arrived
};

RunState &Run();
