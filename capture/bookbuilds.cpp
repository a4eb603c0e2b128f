#include "bookbuilds.h"

#include "apperror.h"
#include "pagefile.h"
#include "pagerecognition.h"
#include "pdfassembly.h"
#include "vbooks.h"

#include <QTimer>

RunOutcome RunOutcomeOfBuild(const BookBuildOutcome &build)
{
    RunOutcome outcome;
    switch (build.kind) {
    case BookBuildOutcome::Written:
        outcome.kind = build.result.missing.isEmpty() ? RunOutcome::Complete : RunOutcome::PagesMissing;
        outcome.pdfPath = build.path;
        outcome.missing = build.result.missing;
        outcome.missingText = MissingPagesText(build.result);
        break;
    case BookBuildOutcome::NoPages:
        outcome.kind = RunOutcome::NoPages;
        break;
    case BookBuildOutcome::Failed:
        outcome.kind = RunOutcome::Failed;
        outcome.reason = build.error;
        outcome.writeFailed = true; // the PDF could not be written
        break;
    case BookBuildOutcome::Cancelled:
        outcome.kind = RunOutcome::Stopped;
        break;
    }
    return outcome;
}

TBookBuilds::TBookBuilds(TePubobj &book, QObject *parent) : QObject(parent), m_book(book)
{
    connect(&m_book.Builder, &TBookBuilder::Progress, this, [this](int page) {
        if (m_cancelled)
            return; // the log's last line is no longer the build's
        m_page = page;
        emit Event(RunEvents::BuildProgress{page, m_totalPages});
    });
}

TBookBuilds::~TBookBuilds() = default;

void TBookBuilds::PageStored(int page, const QString &language)
{
    if (language.isEmpty())
        return;
    if (!m_recognition)
        m_recognition = std::make_unique<TPageRecognition>();
    m_recognition->Enqueue(PageFilePath(m_book.dirid, page), language);
}

bool TBookBuilds::Busy() const
{
    return m_book.Builder.Busy();
}

void TBookBuilds::Rebuild(int totalPages, Done done)
{
    emit Event(RunEvents::BuildStarted{});
    if (m_book.Builder.Busy() || m_runBuildPending) {
        emit Event(RunEvents::BuildRefused{m_page});
        return;
    }
    start({totalPages, 1, false, false, std::move(done)});
}

void TBookBuilds::BuildForRun(int totalPages, Done done, int firstPage, bool range)
{
    // Pages not read yet are read by the build, on both cores.
    if (m_recognition)
        m_recognition->Clear();
    emit Event(RunEvents::BuildStarted{});
    m_runBuildPending = true;
    Request request{totalPages, firstPage, range, true, std::move(done)};
    if (!m_book.Builder.Busy()) {
        start(std::move(request));
        return;
    }
    emit Event(RunEvents::BuildRefused{m_page});
    m_waiting = std::move(request);
}

void TBookBuilds::start(Request request)
{
    m_page = 0;
    m_cancelled = false;
    m_totalPages = request.totalPages;
    RunEvents::BuildEnded end;
    end.ofRun = request.ofRun;
    end.totalPages = request.totalPages;
    if (request.totalPages <= 0 || request.totalPages > MaxBookPages) {
        end.outcome.kind = BookBuildOutcome::NoPages;
        end.noBuild = request.totalPages <= 0 ? RunEvents::BuildEnded::NoBuild::CountUnknown
                                              : RunEvents::BuildEnded::NoBuild::CountTooLarge;
        QTimer::singleShot(0, this, [this, request = std::move(request), end] { ended(request, end); });
        return;
    }
    try {
        m_book.BuildBook(request.totalPages, [this, request, end](const BookBuildOutcome &outcome) mutable {
            end.outcome = outcome;
            ended(request, end);
        }, request.firstPage, request.range);
    } catch (const AppError &e) {
        // No output name for the book: the build ends before it begins.
        end.outcome.error = e.message();
        QTimer::singleShot(0, this, [this, request = std::move(request), end] { ended(request, end); });
    }
}

void TBookBuilds::ended(const Request &request, const RunEvents::BuildEnded &end)
{
    m_page = 0;
    if (end.outcome.kind != BookBuildOutcome::Cancelled)
        emit Event(end);
    if (request.ofRun)
        m_runBuildPending = false;
    // A closing build that waited for this one goes next, before anything else can start.
    if (m_waiting) {
        Request waiting = std::move(*m_waiting);
        m_waiting.reset();
        m_runBuildPending = true;
        emit Event(RunEvents::BuildStarted{});
        start(std::move(waiting));
    }
    if (request.done)
        request.done(end.outcome);
}

void TBookBuilds::CancelRunBuild()
{
    if (!m_runBuildPending)
        return;
    if (m_waiting) {
        // Still waiting for a Rebuild: it never starts, and its run hears so.
        Request waiting = std::move(*m_waiting);
        m_waiting.reset();
        m_runBuildPending = false;
        BookBuildOutcome cancelled;
        cancelled.kind = BookBuildOutcome::Cancelled;
        QTimer::singleShot(0, this, [waiting = std::move(waiting), cancelled] {
            if (waiting.done)
                waiting.done(cancelled);
        });
        return;
    }
    m_cancelled = true;
    m_book.Builder.Cancel();
}

void TBookBuilds::Abandon()
{
    m_recognition.reset(); // the page in hand is abandoned, nothing kept for it
    m_waiting.reset();
    m_runBuildPending = false;
    m_book.Builder.Abandon();
}
