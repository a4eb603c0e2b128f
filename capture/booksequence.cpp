#include "booksequence.h"

#include "apperror.h"
#include "bookidentity.h"
#include "downloadcontroller.h"
#include "ibrowser.h"

BookSequence::BookSequence(TDownloadController &controller, IBrowser &browser, BookQueue &queue, QObject *parent)
    : QObject(parent), m_controller(controller), m_browser(browser), m_queue(queue)
{
    m_openTimeout.setSingleShot(true);
    connect(&m_openTimeout, &QTimer::timeout, this, [this] {
        notOpened(QStringLiteral("the site did not show the book in %1 s").arg(OpenTimeoutMs / 1000));
    });
    connect(&m_controller.Display(), &TBookOnDisplay::BookIdentified, this, &BookSequence::identified);
    connect(&m_controller.Display(), &TBookOnDisplay::OtherPageLoaded, this, [this] {
        if (m_phase == Phase::Opening)
            notOpened(QStringLiteral("the site showed %1 instead of the book's viewer").arg(m_browser.MainFrameUrl()));
    });
    connect(&m_controller, &TDownloadController::WorkingChanged, this, [this](bool working) {
        if (working && m_phase == Phase::Starting)
            started();
    });
    connect(&m_controller, &TDownloadController::Failed, this, [this](const QString &reason, bool writeFailed) {
        if (m_phase != Phase::Starting)
            return;
        // A start that waited for the last run could not begin.
        writeFailed ? startFailed(reason) : notOpened(reason);
    });
    connect(&m_controller, &TDownloadController::Finished, this, &BookSequence::finished);
}

void BookSequence::Start()
{
    // Books stopped before (by Stop, or by the program's end) go on where they stopped.
    for (int i = 0; i < m_queue.size(); ++i) {
        if (m_queue.entries().at(i).state == QueueState::Stopped)
            m_queue.setState(i, QueueState::Waiting);
    }
    m_running = true;
    if (m_phase != Phase::Between)
        return; // a book of the queue is under way
    // A run going on ends first. One that has ended, however busy still, has told its end:
    // the controller starts the book's run once it has finished.
    if (m_controller.Working()) {
        m_afterRun = true;
        return;
    }
    next();
}

void BookSequence::Stop()
{
    m_running = false;
    m_afterRun = false;
    m_openTimeout.stop();
    switch (m_phase) {
    case Phase::Between:
        return;
    case Phase::Opening:
    case Phase::Starting:
        m_phase = Phase::Between;
        m_queue.setState(m_key, QueueState::Stopped, QStringLiteral("Stopped"));
        return;
    case Phase::Running:
        m_controller.Stop(); // its end marks the book
        return;
    }
}

void BookSequence::next()
{
    if (!m_running || m_phase != Phase::Between)
        return;
    const int index = m_queue.nextWaiting();
    if (index < 0) {
        m_running = false;
        emit Done();
        return;
    }
    m_entry = m_queue.entries().at(index);
    m_key = KeyOf(m_entry);
    m_phase = Phase::Opening;
    m_queue.setState(index, QueueState::Running, QStringLiteral("Opening the book"));
    emit BookOpening(m_entry);
    m_openTimeout.start(OpenTimeoutMs);
    m_browser.LoadURL(m_entry.url);
}

void BookSequence::identified(const QString &bookId, int totalPages)
{
    if (m_phase != Phase::Opening)
        return;
    QString wanted = m_entry.bookId;
    if (wanted.isEmpty()) {
        try {
            wanted = BookIdFromUrl(m_entry.url);
        } catch (const AppError &) {
        }
    }
    if (!SameBook(bookId, wanted))
        return;
    m_openTimeout.stop();
    if (m_queue.indexOfPending(m_key) < 0) {
        m_phase = Phase::Between; // taken out of the queue meanwhile
        goOn();
        return;
    }
    if (totalPages <= 0) {
        notOpened(QStringLiteral("the viewer did not say how many pages the book has: is the site reachable, "
                                 "and is the profile signed in?"));
        return;
    }
    m_phase = Phase::Starting;
    m_controller.SetPageRange(m_entry.range);
    try {
        m_controller.Start();
    } catch (const WriteError &e) {
        startFailed(e.message());
        return;
    } catch (const AppError &e) {
        notOpened(e.message());
        return;
    }
    if (m_controller.Working())
        started(); // else it starts once the last run's build has ended
}

void BookSequence::started()
{
    m_phase = Phase::Running;
    m_queue.setState(m_key, QueueState::Running, QStringLiteral("Downloading"));
    emit BookStarted(m_entry);
}

void BookSequence::startFailed(const QString &why)
{
    // Its pages would not fit: the book's run failed before it began.
    m_phase = Phase::Running;
    finished(RunOutcome::Failure(why, true));
}

void BookSequence::notOpened(const QString &why)
{
    m_openTimeout.stop();
    m_phase = Phase::Between;
    m_queue.setState(m_key, QueueState::Failed, why);
    emit BookNotOpened(m_entry, why);
    goOn();
}

void BookSequence::finished(const RunOutcome &outcome)
{
    if (m_phase != Phase::Running) {
        if (m_afterRun && m_phase == Phase::Between) {
            m_afterRun = false;
            goOn();
        }
        return;
    }
    m_phase = Phase::Between;
    switch (outcome.kind) {
    case RunOutcome::Complete:
        m_queue.setState(m_key, QueueState::Done, outcome.pdfPath);
        break;
    case RunOutcome::PagesMissing:
        m_queue.setState(m_key, QueueState::Done, QStringLiteral("missing pages%1: %2").arg(outcome.missing, outcome.pdfPath));
        break;
    case RunOutcome::NoPages:
        m_queue.setState(m_key, QueueState::Failed, QStringLiteral("No page of the book could be captured"));
        break;
    case RunOutcome::Failed:
        m_queue.setState(m_key, QueueState::Failed, outcome.reason);
        break;
    case RunOutcome::LeftBook:
        m_queue.setState(m_key, QueueState::Stopped, outcome.reason);
        break;
    case RunOutcome::Stopped:
        m_running = false; // Stop ends the queue too; Start goes on with this book
        m_queue.setState(m_key, QueueState::Stopped, QStringLiteral("Stopped"));
        break;
    }
    emit BookEnded(m_entry, outcome);
    goOn();
}

void BookSequence::goOn()
{
    // The next book once the event loop has come round (the run's signals are still going out).
    QTimer::singleShot(0, this, &BookSequence::next);
}
