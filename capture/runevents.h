#pragma once

#include "bookbuilder.h"
#include "runprogress.h"
#include "sitefault.h"

#include <QList>
#include <QMetaType>
#include <QString>
#include <chrono>
#include <variant>

// How a download run ended.
struct RunOutcome
{
    enum Kind {
        Complete,     // the PDF holds every page the run was to capture
        PagesMissing, // the PDF was written without some pages (listed in missing)
        NoPages,      // no page of the book is stored: no PDF
        Stopped,      // Stop (or the program's end): pages kept, no build
        LeftBook,     // the viewer left the book: pages kept, no build
        Failed,       // something failed that the run cannot go on after (reason): pages kept
    };
    Kind kind = Stopped;
    QString pdfPath;  // the PDF written
    QString missing;  // " 3 7": the pages not in it
    QString missingText; // the same with the reason after each page that could not be read
    QString reason;   // LeftBook, Failed: what happened, as the user is told
    bool pagesStored = false; // a page was stored in this run
    bool writeFailed = false; // Failed: a page file or the PDF could not be written (or would not fit)

    static RunOutcome Failure(const QString &reason, bool writeFailed)
    {
        RunOutcome failed;
        failed.kind = Failed;
        failed.reason = reason;
        failed.writeFailed = writeFailed;
        return failed;
    }
};
Q_DECLARE_METATYPE(RunOutcome)

// What happens in a download run and around it, in the program's own terms. The download
// controller reports these; writers turn them into what the user reads: the window's log,
// progress bar and notifications (RunLogWriter), a terminal's lines (TerminalWriter). Each
// writer handles every kind, so a new kind is told everywhere or the program does not build.
namespace RunEvents {
using std::chrono::milliseconds;

// ---- A run ----
struct Started {};                      // a run began on the book on display
struct BookRecordUnsaved { QString path; };          // its title could not be kept for a later Rebuild
struct StoredAlready { int from = 0; int to = 0; int goingOnAt = 0; }; // goingOnAt 0: all are stored
struct Progressed { RunProgress progress; };         // how far the run has come
struct PageStored
{
    int page = 0;
    int totalPages = 0;     // the book's page count; 0 not known
    QString newWayLine;     // the first page that came this way: how it came ("pages are the site's JPEG files")
    bool counted = true;    // a page new to this run (not the same page again)
    RunProgress progress;
};
struct PageUnusable { QString reason; };             // an image came that cannot be the page
struct WaitingForSite { int page = 0; QString why; milliseconds wait{0}; };
struct WaitCountdown { int page = 0; milliseconds left{0}; RunProgress progress; };
struct PageGivenUp
{
    int page = 0;           // 0: the one on display
    int lastStored = 0;
    int totalPages = 0;
    GiveUpCause cause = GiveUpCause::Failed;
    QString why;            // as the cause says ("HTTP 404")
};
// The browser's page process ended (how: "crashed", ...) or stopped answering (hung); when
// reloading, the viewer is loaded at page again (0: the page it showed).
struct PageProcessEnded { QString how; bool hung = false; int page = 0; bool reloading = true; };
struct LoadingPage { int page = 0; int totalPages = 0; };
struct ViewerStuck {};                               // the viewer no longer moves on
struct SecondPass { QList<int> pages; };             // pages given up are tried once more
struct StillMissing { QList<int> pages; };
struct Ended { RunOutcome outcome; bool viewerLeft = false; }; // viewerLeft: to no book at all (a sign-in page)

// ---- Building the PDF (a run's last step, or Rebuild) ----
struct BuildStarted {};
struct BuildProgress { int page = 0; int totalPages = 0; };
struct BuildRefused { int page = 0; };               // a build runs already (at page, 0 not begun)
struct BuildEnded
{
    enum class NoBuild { None, CountUnknown, CountTooLarge };
    BookBuildOutcome outcome;
    bool ofRun = false;          // a run's closing build, not Rebuild
    NoBuild noBuild = NoBuild::None; // why nothing was built before a page was read
    int totalPages = 0;
};
struct Idle {};                  // neither a run nor a build is under way any more

// ---- The viewer between runs ----
struct BookPageLoaded { QString leftBookLine; };     // a book is on display (and why the last run stopped)
struct BookRefused { QString reason; };              // a viewer page whose id gives no folder
struct BookIdentified { QString bookId; };
struct PageCountRead { qint64 count = -1; };         // what the viewer said (-1: no count)
struct ViewerLine { QString text; };                 // a line the viewer prints for the log
} // namespace RunEvents

using RunEvent = std::variant<RunEvents::Started, RunEvents::BookRecordUnsaved, RunEvents::StoredAlready,
                              RunEvents::Progressed, RunEvents::PageStored, RunEvents::PageUnusable,
                              RunEvents::WaitingForSite, RunEvents::WaitCountdown, RunEvents::PageGivenUp,
                              RunEvents::PageProcessEnded,
                              RunEvents::LoadingPage, RunEvents::ViewerStuck, RunEvents::SecondPass,
                              RunEvents::StillMissing, RunEvents::Ended, RunEvents::BuildStarted,
                              RunEvents::BuildProgress, RunEvents::BuildRefused, RunEvents::BuildEnded,
                              RunEvents::Idle, RunEvents::BookPageLoaded, RunEvents::BookRefused,
                              RunEvents::BookIdentified, RunEvents::PageCountRead, RunEvents::ViewerLine>;
