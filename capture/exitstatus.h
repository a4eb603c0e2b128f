#pragma once

#include <QList>

struct RunOutcome;

// How the download of one book ended, for the exit status of a run without a window.
enum class BookOutcome {
    Complete,     // every page asked for is in the book's PDF
    PagesMissing, // the PDF was written, but without some pages (or could not be written)
    NotOpened,    // the site or the book could not be opened: nothing was captured
    WriteFailed,  // a page file or the PDF could not be written, or would not fit
};

// The exit statuses of `--download`, as its help documents them.
namespace ExitStatus {
constexpr int Complete = 0;
constexpr int PagesMissing = 1;
constexpr int UsageError = 2;    // also an address that is not a book's viewer
constexpr int NotOpened = 3;     // also: another process uses the profile
constexpr int WriteFailed = 4;   // a page file or the PDF could not be written (a full disk)
constexpr int SignalBase = 128;  // stopped by signal N: 128 + N (130 SIGINT, 143 SIGTERM)
} // namespace ExitStatus

// How a book's run counts for the exit status.
BookOutcome BookOutcomeOf(const RunOutcome &outcome);

// The run's exit status from its books' outcomes. A stop by a signal (stopSignal, 0 for none)
// decides alone; otherwise the worst outcome does: a file that could not be written counts
// worst, then a book never opened, then pages missing from one. No books at all is Complete.
int RunExitStatus(const QList<BookOutcome> &outcomes, int stopSignal = 0);
