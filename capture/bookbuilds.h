#pragma once

#include "bookbuilder.h"
#include "runlog.h"

#include <QObject>
#include <QString>
#include <functional>

class TePubobj;

// The builds of the book's PDF as the user follows them in the run's log. One build runs
// at a time: Rebuild is refused while one runs, and a run's closing build waits for it, so a
// run never ends on a PDF that lacks its pages. Progress shows as "pdf page %d" in place of
// the log's last line; the outcome as "missing pages ...", "save pdf file <path>" or a line
// saying that no page was found and nothing was written.
class TBookBuilds : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const BookBuildOutcome &)>;

    TBookBuilds(TePubobj &book, TRunLog &log, QObject *parent = nullptr);

    // Neither throws: a build that cannot begin ends at once with a Failed outcome.
    // Rebuild: builds now, or logs the refusal when a build is running (done is not called).
    void Rebuild(int totalPages, Done done);
    // A run's closing build: builds now, or as soon as the running build has ended. A run of
    // a part of the book (range) builds those pages into a PDF of their own.
    void BuildForRun(int totalPages, Done done, int firstPage = 1, bool range = false);

    // A run's closing build is waiting or running.
    bool RunBuildPending() const { return m_runBuildPending; }
    // A build is running.
    bool Busy() const;
    // Stop during a run's closing build: a waiting one never starts (false), a running one
    // stops at its next page and its done follows with Cancelled once its thread has ended
    // (true). Its progress is no longer shown. The earlier PDF stays.
    bool CancelRunBuild();
    // Stops everything without calling back (the window is closing).
    void Abandon();

signals:
    // The running build is at page of totalPages.
    void Progress(int page, int totalPages);

private:
    void start(int totalPages, Done done, int firstPage = 1, bool range = false);
    void refuse();
    void logOutcome(const BookBuildOutcome &outcome);

    TePubobj &m_book;
    TRunLog &m_log;
    QString m_progressLine;         // the running build's "pdf page %d" line
    bool m_runBuildPending = false;
    bool m_cancelled = false;        // the running build was stopped: its progress is not shown
    int m_totalPages = 0;            // of the running build
    int m_waitingPages = 0;          // the waiting closing build: its pages and callback
    int m_waitingFirst = 1;
    bool m_waitingRange = false;
    Done m_waitingDone;
};
