#pragma once

#include "bookqueue.h"
#include "runevents.h"

#include <QObject>
#include <QString>
#include <QTimer>

class IBrowser;
class TDownloadController;

// Downloads the books of a queue one after another: opens a waiting book's address in the
// viewer, waits until the viewer has identified the book, runs it, and marks its entry with how
// it ended, then goes on with the next. The window's queue and a run without a window both use
// it. An entry is followed by what it is (its book and pages), never by its row, so the queue
// may change under it at any moment; a book that could not be opened or whose run failed is
// marked failed with its reason and the next one runs. Stop ends the sequence.
class BookSequence : public QObject
{
    Q_OBJECT
public:
    BookSequence(TDownloadController &controller, IBrowser &browser, BookQueue &queue, QObject *parent = nullptr);

    // Runs the waiting books (and the stopped ones, each going on where it stopped), after
    // the download under way when there is one.
    void Start();
    // No next book: the one being opened is marked stopped; a running one is stopped as Stop
    // stops it.
    void Stop();

    // How long a book's viewer may take to open and tell its page count.
    int OpenTimeoutMs = 90000;

signals:
    void BookOpening(const QueueEntry &entry);
    void BookNotOpened(const QueueEntry &entry, const QString &why);
    void BookStarted(const QueueEntry &entry);
    void BookEnded(const QueueEntry &entry, const RunOutcome &outcome);
    // No book is left waiting.
    void Done();

private:
    enum class Phase { Between, Opening, Starting, Running };

    void next();
    void identified(const QString &bookId, int totalPages);
    void started();
    void notOpened(const QString &why);
    void startFailed(const QString &why);
    void finished(const RunOutcome &outcome);
    void goOn();

    TDownloadController &m_controller;
    IBrowser &m_browser;
    BookQueue &m_queue;
    QTimer m_openTimeout;
    bool m_running = false;
    bool m_afterRun = false;   // a download not of the queue runs: the queue starts after it
    Phase m_phase = Phase::Between;
    QueueEntry m_entry;        // the book being opened or run
    QueueKey m_key;
};
