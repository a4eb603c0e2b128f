#pragma once

#include "bookbuilder.h"
#include "runevents.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class TePubobj;
class TPageRecognition;

// How a run ends after its closing build: Complete or PagesMissing with the PDF written,
// NoPages, Failed with the build's error, Stopped for a build cancelled.
RunOutcome RunOutcomeOfBuild(const BookBuildOutcome &build);

// The builds of the book's PDF as the user follows them. One build runs at a time: Rebuild is
// refused while one runs, and a run's closing build waits for it, so a run never ends on a PDF
// that lacks its pages. What happens is told as events: a build started, its page, refused,
// ended with its outcome.
//
// Every build asked for ends with its done called once, later, from the event loop: written,
// nothing to write, failed, or cancelled (also a closing build cancelled while it waited).
class TBookBuilds : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const BookBuildOutcome &)>;

    explicit TBookBuilds(TePubobj &book, QObject *parent = nullptr);
    ~TBookBuilds() override;

    // A page was stored: its text is read now, while the run waits for the next page, so the
    // build finds it ready (language empty: no text layer).
    void PageStored(int page, const QString &language);

    // Rebuild: builds now, or tells the refusal when a build is running (done is not called).
    void Rebuild(int totalPages, Done done);
    // A run's closing build: builds now, or as soon as the running build has ended. A run of
    // a part of the book (range) builds those pages into a PDF of their own.
    void BuildForRun(int totalPages, Done done, int firstPage = 1, bool range = false);

    // A run's closing build is waiting or running.
    bool RunBuildPending() const { return m_runBuildPending; }
    // A build is running.
    bool Busy() const;
    // Stop during a run's closing build: a waiting one never starts, a running one stops at its
    // next page; either ends with Cancelled. Its progress is no longer shown. The earlier PDF
    // stays.
    void CancelRunBuild();
    // Stops everything without calling back (the window is closing).
    void Abandon();

signals:
    void Event(const RunEvent &event);

private:
    struct Request
    {
        int totalPages = 0;
        int firstPage = 1;
        bool range = false;
        bool ofRun = false;
        Done done;
    };
    void start(Request request);
    void ended(const Request &request, const RunEvents::BuildEnded &end);

    TePubobj &m_book;
    std::unique_ptr<TPageRecognition> m_recognition; // made when text is first asked for
    int m_page = 0;                 // the running build's page, 0 before its first
    int m_totalPages = 0;           // of the running build
    bool m_runBuildPending = false;
    bool m_cancelled = false;       // the running build was stopped: its progress is not shown
    std::optional<Request> m_waiting; // the closing build that waits for a Rebuild
};
