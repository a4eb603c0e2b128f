#pragma once

#include <QObject>
#include <QString>
#include <deque>
#include <functional>

class IBrowser;
class QTimer;

// How a script run by TScriptRunner ended.
struct ScriptOutcome
{
    bool ended = false;   // the page script's end marker arrived
    bool timedOut = false; // its deadline passed with no word from the page (the page does not answer);
                           // not for one that said it goes on and is still reading
    QString report;       // the page report it printed, empty when none came
    QString fault;        // why the page's image could not be had, as the script told it (JSON)
};

// Runs scripts in the viewer's main frame and follows their console output. Nothing waits
// here: a script's outcome is handed to its callback later, from the event loop, so the
// window answers all the time and nothing runs nested inside a wait.
//
// Every script is followed by a probe (pagescripts.h) whose message comes after all the
// script printed. So a script is known to be over when its end marker or its probe arrives,
// however long the page takes to produce a report of tens of megabytes, and console output
// is always told apart by the script it belongs to: a report that arrives after its script
// was given up is dropped, never taken for another script's.
//
// A script that goes on after its probe (the page script reading the image file) says so
// with "###pending=<n>" before its probe; it is then over at its tagged end marker or its
// deadline, and what it prints later carries its number n, which the runner hands the page
// before the script.
class TScriptRunner : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const ScriptOutcome &)>;

    explicit TScriptRunner(IBrowser &browser, QObject *parent = nullptr);
    ~TScriptRunner() override;

    // Queues code in the main frame. done (if given) is called once, later: when the end
    // marker has arrived, when the probe shows the script over without it, or when timeoutMs
    // has passed. Without a browser done follows with an empty outcome.
    void ExecScript(const QString &code, int timeoutMs, Done done = {});

    // One console message of the main browser. Page reports, image faults and end markers go
    // to the script they belong to; "###title" lines and the book's record are told by the
    // signals.
    void HandleConsoleText(const QString &text);

    // The main frame holds a new document: scripts queued in the old one print nothing more.
    // Their callbacks follow at once with what they have.
    void DocumentReplaced();
    // Drops every script's callback without calling it (the window is closing).
    void Abandon();

    // Scripts waiting for an outcome with a callback.
    bool Busy() const;

signals:
    // The viewer told what it knows of the book on display: a JSON record (ReadViewerBook).
    void BookRecordRead(const QString &record);
    // The viewer printed a line for the log.
    void TitleRead(const QString &text);

private:
    struct Pending
    {
        quint64 sequence = 0;
        Done done;
        ScriptOutcome outcome;
        bool finished = false;   // done was called (or there is none)
        bool goesOn = false;     // said it goes on after its probe
        QTimer *deadline = nullptr;
    };

    Pending *current();
    Pending *find(quint64 sequence);
    void finishGoingOn(quint64 sequence);
    void finish(Pending &script);
    void scriptDone(quint64 sequence);

    IBrowser &m_browser;
    std::deque<Pending> m_pending;   // in the order the scripts were queued
    std::deque<Pending> m_goingOn;   // past their probe, waiting for their tagged end
    quint64 m_sequence = 0;
};
