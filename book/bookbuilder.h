#pragma once

#include "pdfassembly.h"

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

class QThread;

// How a build ended.
struct BookBuildOutcome
{
    enum Kind {
        Written,    // the PDF is in place
        NoPages,    // no usable page file: nothing written, an earlier PDF stays
        Failed,     // error holds the message; an earlier PDF stays
        Cancelled,  // stopped on request; an earlier PDF stays
    };
    Kind kind = Failed;
    PdfBuildResult result;
    QString path;
    QString error;
};

// Builds one PDF at a time on a thread of its own, so the window goes on answering while the
// pages are assembled. Progress and the outcome are delivered on the thread that owns the
// builder (the GUI thread).
class TBookBuilder : public QObject
{
    Q_OBJECT
public:
    using Done = std::function<void(const BookBuildOutcome &)>;

    explicit TBookBuilder(QObject *parent = nullptr);
    ~TBookBuilder() override; // abandons a running build

    bool Busy() const { return m_thread != nullptr; }

    // Starts building; done follows once the build has ended. False, with nothing started,
    // when a build is running already.
    bool Start(const PdfBuildRequest &request, Done done);
    // Asks the running build to stop at its next page; done then gets Cancelled.
    void Cancel();
    // Stops the running build at its next page and waits for its thread to end; done is not
    // called. For a window that is closing.
    void Abandon();

signals:
    // The running build is at page (1..totalPages), missing pages included.
    void Progress(int page);

private:
    void finish(quint64 generation, const BookBuildOutcome &outcome);
    void join();

    std::unique_ptr<QThread> m_thread;
    std::atomic_bool m_cancel = false;
    Done m_done;
    quint64 m_generation = 0; // outcomes and progress of an abandoned build are dropped
};
