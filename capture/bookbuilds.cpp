#include "bookbuilds.h"

#include "apperror.h"
#include "pdfassembly.h"
#include "vbooks.h"

TBookBuilds::TBookBuilds(TePubobj &book, TRunLog &log, QObject *parent) : QObject(parent), m_book(book), m_log(log)
{
    connect(&m_book.Builder, &TBookBuilder::Progress, this, [this](int page) {
        if (m_cancelled)
            return; // the log's last line is no longer the build's
        m_progressLine = QString::asprintf("pdf page %d", page);
        m_log.replaceLast(m_progressLine);
        emit Progress(page, m_totalPages);
    });
}

bool TBookBuilds::Busy() const
{
    return m_book.Builder.Busy();
}

void TBookBuilds::Rebuild(int totalPages, Done done)
{
    if (m_book.Builder.Busy() || m_runBuildPending) {
        refuse();
        return;
    }
    start(totalPages, std::move(done));
}

void TBookBuilds::BuildForRun(int totalPages, Done done, int firstPage, bool range)
{
    m_runBuildPending = true;
    auto ended = [this, done = std::move(done)](const BookBuildOutcome &outcome) {
        m_runBuildPending = false;
        done(outcome);
    };
    if (!m_book.Builder.Busy()) {
        start(totalPages, std::move(ended), firstPage, range);
        return;
    }
    refuse();
    m_waitingPages = totalPages;
    m_waitingFirst = firstPage;
    m_waitingRange = range;
    m_waitingDone = std::move(ended);
}

void TBookBuilds::refuse()
{
    m_log.add(QStringLiteral("A pdf file is being built already, wait...."));
    // The running build rewrites the last line with its progress: give it its own.
    m_log.add(m_progressLine.isEmpty() ? QStringLiteral("Build pdf file, wait....") : m_progressLine);
}

void TBookBuilds::start(int totalPages, Done done, int firstPage, bool range)
{
    m_progressLine.clear();
    m_cancelled = false;
    if (totalPages <= 0 || totalPages > MaxBookPages) {
        m_log.add(totalPages <= 0 ? QStringLiteral("The book's page count is not known: no pdf file written")
                               : QString::asprintf("Total pages %d is more than a book has: no pdf file written", totalPages));
        BookBuildOutcome outcome;
        outcome.kind = BookBuildOutcome::NoPages;
        done(outcome);
        return;
    }
    auto ended = [this, done](const BookBuildOutcome &outcome) {
        m_progressLine.clear();
        logOutcome(outcome);
        // A closing build that waited for this one goes next, before anything else can start.
        Done waiting = std::move(m_waitingDone);
        m_waitingDone = nullptr;
        if (waiting) {
            m_log.add(QStringLiteral("Build pdf file, wait...."));
            start(m_waitingPages, std::move(waiting), m_waitingFirst, m_waitingRange);
        }
        if (done)
            done(outcome);
    };
    m_totalPages = totalPages;
    try {
        m_book.BuildBook(totalPages, std::move(ended), firstPage, range);
    } catch (const AppError &e) {
        // No output name for the book: the build ends before it begins.
        BookBuildOutcome outcome;
        outcome.error = e.message();
        if (done)
            done(outcome);
    }
}

void TBookBuilds::logOutcome(const BookBuildOutcome &outcome)
{
    switch (outcome.kind) {
    case BookBuildOutcome::Written:
        if (!outcome.result.missing.isEmpty())
            m_log.add(QStringLiteral("missing pages ") + outcome.result.missing);
        // Pages whose text could not be read are in the PDF, as images only.
        if (!outcome.result.imageOnly.isEmpty())
            m_log.add(QStringLiteral("no text recognised on pages") + outcome.result.imageOnly + QStringLiteral(": ")
                   + outcome.result.textFailures.value(0));
        m_log.add(QStringLiteral("save pdf file ") + outcome.path);
        return;
    case BookBuildOutcome::NoPages:
        m_log.add(QStringLiteral("No page of the book is stored: no pdf file written"));
        return;
    case BookBuildOutcome::Failed:
    case BookBuildOutcome::Cancelled:
        return; // the caller reports a failure; a cancelled build says nothing
    }
}

bool TBookBuilds::CancelRunBuild()
{
    if (!m_runBuildPending)
        return false;
    if (m_waitingDone) {
        // Still waiting for a Rebuild: it never starts.
        m_waitingDone = nullptr;
        m_runBuildPending = false;
        return false;
    }
    m_cancelled = true;
    m_book.Builder.Cancel();
    return true;
}

void TBookBuilds::Abandon()
{
    m_waitingDone = nullptr;
    m_runBuildPending = false;
    m_book.Builder.Abandon();
}
