#include "downloadtask.h"

#include "activitylog.h"
#include "apperror.h"
#include "bookinfo.h"
#include "booktitle.h"
#include "capturedpage.h"
#include "desktopnotify.h"
#include "errorreport.h"
#include "ibrowser.h"
#include "keepawake.h"
#include "pagefile.h"
#include "pagerecognition.h"
#include "pagescripts.h"
#include "vbooks.h"

#include <QTimer>
#include <utility>

namespace {
// A report this short cannot hold a page.
constexpr qsizetype MinReportLength = 11;
// Scripts other than the page script print little; their probe comes back at once.
constexpr int ShortScriptTimeoutMs = 10000;
} // namespace

TDownloadTask::TDownloadTask(IBrowser &browser, TePubobj &book, const QString &pageScript, QTimer &timer, QObject *parent)
    : QObject(parent), m_browser(browser), m_book(book), m_pageScript(pageScript), m_timer(timer),
      m_scripts(browser, m_run), m_builds(book)
{
    connect(&m_browser, &IBrowser::ConsoleMessage, this, Guarded([this](const QString &text) {
                m_scripts.HandleConsoleText(text);
            }));
    connect(&m_browser, &IBrowser::AddressChange, this, Guarded([this](int id, bool isMain, const QString &url) {
                chmAddressChange(id, isMain, url);
            }));
    connect(&m_browser, &IBrowser::LoadEnd, this, Guarded([this](int id, bool isMain, const QString &url) {
                chmLoadEnd(id, isMain, url);
            }));
    connect(&m_builds, &TBookBuilds::Progress, this, [this](int page, int totalPages) {
        emit Progress(page, totalPages, QStringLiteral("pdf page %1 / %2").arg(page).arg(totalPages));
    });
}

TDownloadTask::~TDownloadTask()
{
    Close();
}

bool TDownloadTask::Busy() const
{
    return m_tickPending || m_builds.RunBuildPending();
}

// ---- Start and end of a run -------------------------------------------------------------

void TDownloadTask::downloadbtnClick()
{
    if (m_closing || m_run.Working)
        return;
    if (Busy()) {
        m_startRequested = true; // the last run's capture or build ends first
        return;
    }
    setWorking(true);
}

void TDownloadTask::stopbtnClick()
{
    m_startRequested = false;
    // Stop during the closing build stops the build too: the earlier PDF stays.
    if (m_run.Working && m_run.TaskState == TaskBuild)
        m_builds.CancelRunBuild();
    setWorking(false);
    AddLog(QStringLiteral("user abort"));
}

void TDownloadTask::setWorking(bool Value)
{
    QString url;
    if (Value) {
        // The book is settled before anything changes: an address whose id the program
        // cannot use starts nothing, and the record keeps the last usable book.
        url = m_browser.MainFrameUrl();
        const QString refusal = TvBookobj::UnusableIdReason(url);
        if (!refusal.isEmpty())
            throw AppError(refusal);
        m_book.getID(url);
    }
    m_run.Working = Value;
    emit WorkingChanged(Value);
    if (Value) {
        ClearLog(QStringLiteral("downloading ...."));
        m_leftBookLine.clear();
        m_run.TickCount = 0;
        m_run.TaskState = TaskCapture;
        m_run.PageWaitTicks = RunPageWaitTicks;
        m_run.bookId.clear();
        m_run.storedInRun = false;
        m_run.captureAttempts = 0;
        m_run.stuckTurns = 0;
        m_run.movedSinceTurn = true;
        m_run.pageAtTurn = 0;
        ++m_generation;
        m_discardCapture = false;
        m_progress = RunProgress(m_run.TotalPages);
        m_lastStoredPage = 0;
        m_waysLogged.clear();
        emit Progress(0, qMax(1, m_run.TotalPages), RunProgressText(m_progress));
        m_run.bookId = m_book.id;
        m_book.setWorking(true);
        // The title the viewer gives the book goes into its PDF, also when rebuilt later.
        if (!SaveBookInfo(m_book.PageFolder(), BookInfo{BookTitleFromPageTitle(m_browser.Title(), m_book.id), url})) {
            // Above the run's first line, which its progress rewrites.
            SetLastLog(QStringLiteral("Cannot write file \"%1\": a later Rebuild will not know the book's title")
                           .arg(BookInfoPath(m_book.PageFolder())));
            AddLog(QStringLiteral("downloading ...."));
        }
        KeepAwake::Request();
        if (!m_closing)
            m_timer.start();
    } else {
        // A closing build still on its thread keeps the machine awake until it has ended.
        if (!m_builds.RunBuildPending())
            KeepAwake::Release();
        AddLog(QStringLiteral("download end."));
        emit RebuildAvailable(m_run.TotalPages > 0);
        m_timer.stop();
        if (!m_builds.Busy())
            emit ProgressEnded();
    }
}

void TDownloadTask::Close()
{
    m_closing = true;
    m_startRequested = false;
    m_timer.stop();
    m_scripts.Abandon();
    m_builds.Abandon();
    m_recognition.reset();
    m_tickPending = false;
}

// ---- Ticks --------------------------------------------------------------------------------

void TDownloadTask::Timer1Timer()
{
    m_timer.stop(); // the next tick comes an interval after this one has ended
    if (m_closing || m_tickPending)
        return;
    Taskhandle();
    rearm();
}

void TDownloadTask::rearm()
{
    if (m_run.Working && !m_closing && !m_tickPending)
        m_timer.start();
}

void TDownloadTask::Taskhandle()
{
    ++m_run.TickCount;
    emit TickCountChanged(m_run.TickCount);
    switch (TaskStates(m_run.TaskState)) {
    case TaskCapture:
        captureTick();
        return;
    case TaskPageWait:
        pageWaitTick();
        return;
    case TaskBuild:
        buildTick();
        return;
    }
}

void TDownloadTask::endTick(quint64 generation, const std::function<bool()> &rest)
{
    m_tickPending = false;
    bool goOn = false;
    if (generation == m_generation && !m_closing) {
        try {
            goOn = rest();
        } catch (const AppError &e) {
            ReportError(e.message()); // the timer stays off; Stop ends the run
        }
    }
    if (goOn)
        rearm();
    startRequestedRun();
}

void TDownloadTask::startRequestedRun()
{
    if (!m_startRequested || m_run.Working || m_closing || Busy())
        return;
    m_startRequested = false;
    RunGuarded([this] { setWorking(true); });
}

void TDownloadTask::endTest()
{
    // The last page is recognised on a page stored in this run, never on a number left over
    // from an earlier run or another book.
    if (m_run.TaskState == TaskCapture && m_run.storedInRun && m_book.curpage >= m_run.TotalPages)
        m_run.TaskState = TaskBuild;
}

void TDownloadTask::captureTick()
{
    if (m_run.TickCount == 1) {
        startCapture(); // the end test follows the capture
        return;
    }
    if (m_run.TickCount == 2) {
        turnPage();
        return;
    }
    // A late address change moved the count past the capture: start the cycle again rather
    // than wait for a tick that never comes.
    m_run.TickCount = 0;
    endTest();
}

void TDownloadTask::startCapture()
{
    checkBook(m_browser.MainFrameUrl());
    if (!m_run.Working)
        return;
    m_tickPending = true;
    const quint64 generation = m_generation;
    savepage([this, generation](bool stored, const QString &error) {
        endTick(generation, [&] { return captured(stored, error); });
    });
}

void TDownloadTask::savepage(std::function<void(bool stored, const QString &error)> done)
{
    m_run.LastPageReport.clear();
    m_capture = CapturedPage();
    const QString dirid = m_book.dirid; // the book this capture is for
    m_scripts.ExecScript(m_pageScript, CaptureTimeoutMs, [this, dirid, done = std::move(done)](const ScriptOutcome &outcome) {
        bool stored = false;
        QString error;
        // Nothing of another book is stored: not after the run left its book, not when the
        // record has been given another book meanwhile. A report whose image is none the
        // build can read (an image that has not loaded gives an empty canvas) is a failed
        // capture: the page file there stays.
        if (outcome.report.size() >= MinReportLength && !m_discardCapture && m_book.dirid == dirid) {
            try {
                m_capture = StoreCapturedPage(m_book, outcome.report);
                stored = m_capture.stored;
            } catch (const AppError &e) {
                error = e.message();
            }
        }
        // The report of a scanned page runs to tens of megabytes: not kept once stored.
        m_run.LastPageReport.clear();
        done(stored, error);
    });
}

bool TDownloadTask::captured(bool stored, const QString &error)
{
    if (!error.isEmpty())
        throw AppError(error);
    if (!m_run.Working)
        return false; // stopped meanwhile: the page is kept, the run is over
    if (stored) {
        pageStored();
        m_run.storedInRun = true;
        m_run.captureAttempts = 0;
        const QString progress = QString::asprintf("Save page %d / %d ...", m_book.curpage, m_run.TotalPages);
        // Once per run for each way pages came, above the progress line.
        if (!m_capture.way.isEmpty() && !m_waysLogged.contains(m_capture.way)) {
            m_waysLogged.insert(m_capture.way);
            SetLastLog(m_capture.wayLine);
            AddLog(progress);
        } else {
            SetLastLog(progress);
        }
    } else if (++m_run.captureAttempts < MaxCaptureAttempts) {
        m_run.TickCount = 0; // the same page again on the next tick, without turning
    } else {
        m_run.captureAttempts = 0;
        if (!m_capture.fault.isEmpty())
            AddLog(QStringLiteral("The page image is not usable: %1").arg(m_capture.fault));
        giveUpPage(); // the next tick (TickCount 2) turns the page
    }
    endTest();
    return true;
}

void TDownloadTask::pageStored()
{
    const int page = m_book.curpage;
    if (!m_run.storedInRun) {
        // The run began at this page: the pages to capture are the rest of the book.
        m_progress = RunProgress(qMax(1, m_run.TotalPages - page + 1));
    } else if (page <= m_lastStoredPage) {
        return; // the same page again
    }
    m_lastStoredPage = page;
    m_progress.PageStored(RunProgress::Clock::now());
    // Read while the run waits for the next page, so the build finds the text ready.
    if (!m_book.OcrLanguage.isEmpty()) {
        if (!m_recognition)
            m_recognition = std::make_unique<TPageRecognition>();
        m_recognition->Enqueue(PageFilePath(m_book.dirid, page), m_book.OcrLanguage);
    }
    emit Progress(m_progress.PagesStored(), m_progress.PagesToCapture(), RunProgressText(m_progress));
}

void TDownloadTask::notifyOutcome(const BookBuildOutcome &outcome, bool run)
{
    switch (outcome.kind) {
    case BookBuildOutcome::Written:
        NotifyDesktop(QStringLiteral("PDF saved"), outcome.result.missing.isEmpty() || !run
                                                       ? outcome.path
                                                       : outcome.path + QStringLiteral("\nmissing pages") + outcome.result.missing);
        return;
    case BookBuildOutcome::NoPages:
        if (run)
            NotifyDesktop(QStringLiteral("Download ended"), QStringLiteral("No page of the book is stored: no pdf file written"));
        return;
    case BookBuildOutcome::Failed:
        NotifyDesktop(QStringLiteral("The pdf file could not be built"), outcome.error);
        return;
    case BookBuildOutcome::Cancelled:
        return;
    }
}

void TDownloadTask::giveUpPage()
{
    const bool known = m_run.storedInRun;
    AddLog(known ? QString::asprintf("Page %d could not be captured", m_book.curpage + 1)
                 : QStringLiteral("The page on display could not be captured"));
    // A line of its own for the progress that follows, so the one above stays.
    AddLog(QString::asprintf("Save page %d / %d ...", m_book.curpage, m_run.TotalPages));
    if (known && m_book.curpage + 1 >= m_run.TotalPages)
        m_run.TaskState = TaskBuild; // it was the last page
}

void TDownloadTask::turnPage()
{
    // A viewer that no longer moves (the end of the book without a count, a button that does
    // nothing) would keep the run going for ever.
    const bool moved = m_run.movedSinceTurn || (m_run.storedInRun && m_book.curpage > m_run.pageAtTurn);
    m_run.stuckTurns = moved ? 0 : m_run.stuckTurns + 1;
    if (m_run.stuckTurns >= MaxStuckTurns) {
        AddLog(QStringLiteral("The viewer does not move on to another page"));
        m_run.TaskState = TaskBuild;
        m_run.TickCount = 0;
        return;
    }
    m_run.pageAtTurn = m_book.curpage;
    m_run.movedSinceTurn = false;
    m_run.TickCount = 0;
    m_run.TaskState = TaskPageWait;
    m_tickPending = true;
    const quint64 generation = m_generation;
    m_scripts.ExecScript(NextPageScript(), ShortScriptTimeoutMs, [this, generation](const ScriptOutcome &) {
        endTick(generation, [this] {
            if (!m_run.Working)
                return false;
            SetLastLog(QString::asprintf("Loading page %d / %d ...", m_book.curpage + 1, m_run.TotalPages));
            return true;
        });
    });
}

void TDownloadTask::pageWaitTick()
{
    if (m_run.TickCount > m_run.PageWaitTicks) {
        m_run.TaskState = TaskCapture;
        m_run.TickCount = 0;
    }
}

void TDownloadTask::SetOcrLanguage(const QString &language)
{
    m_book.OcrLanguage = language;
}

void TDownloadTask::buildTick()
{
    // Pages not read yet are read by the build, on both cores.
    if (m_recognition)
        m_recognition->Clear();
    AddLog(QStringLiteral("Build pdf file, wait...."));
    m_tickPending = true;
    const quint64 generation = m_generation;
    m_builds.BuildForRun(m_run.TotalPages, [this, generation](const BookBuildOutcome &outcome) {
        if (!m_run.Working)
            KeepAwake::Release(); // stopped during the build, whose thread has ended now
        endTick(generation, [&] { return closingBuildEnded(outcome); });
    });
}

bool TDownloadTask::closingBuildEnded(const BookBuildOutcome &outcome)
{
    if (!m_run.Working) {
        // Stopped during the build: the run has ended already, and said so.
        emit ProgressEnded();
        return false;
    }
    notifyOutcome(outcome, true);
    switch (outcome.kind) {
    case BookBuildOutcome::Failed:
        throw AppError(outcome.error); // Working stays on with Stop shown
    case BookBuildOutcome::Cancelled:
        return false;
    case BookBuildOutcome::NoPages:
        setWorking(false);
        return false;
    case BookBuildOutcome::Written:
        setWorking(false);
        emit OpenOutputFolder();
        return false;
    }
    return false;
}

// ---- Rebuild --------------------------------------------------------------------------------

void TDownloadTask::rebuildbtnClick()
{
    AddLog(QStringLiteral("Build pdf file, wait...."));
    m_builds.Rebuild(m_run.TotalPages, [this](const BookBuildOutcome &outcome) {
        if (m_closing)
            return;
        notifyOutcome(outcome, false);
        if (!m_run.Working)
            emit ProgressEnded();
        if (outcome.kind == BookBuildOutcome::Failed)
            ReportError(outcome.error);
        else if (outcome.kind == BookBuildOutcome::Written)
            emit OpenOutputFolder();
    });
}

// ---- The viewer -------------------------------------------------------------------------

void TDownloadTask::chmAddressChange(int browserId, bool isMainFrame, const QString &url)
{
    if (!m_browser.IsOwnMainFrame(browserId, isMainFrame) || !m_run.Working)
        return;
    m_run.TickCount = m_run.PageWaitTicks - 2; // the viewer moved on: shorten the wait
    m_run.movedSinceTurn = true;
    checkBook(url);
}

void TDownloadTask::checkBook(const QString &url)
{
    if (!m_run.Working)
        return;
    QString id;
    if (IsBookViewerUrl(url)) {
        try {
            id = TvBookobj::BookIdFromUrl(url);
        } catch (const AppError &) {
        }
    }
    // The run keeps the id it started with (and with it its folder and PDF name); the
    // viewer's address may drop the fragment the book was opened with.
    if (!id.isEmpty() && TvBookobj::SameBook(id, m_run.bookId))
        return;
    // A run belongs to one book: what the viewer shows now is not stored in its folder.
    m_discardCapture = true;
    setWorking(false);
    m_leftBookLine = id.isEmpty() ? QStringLiteral("The viewer left the book: download stopped")
                                  : QStringLiteral("The viewer shows another book (%1): download stopped").arg(id);
    AddLog(m_leftBookLine);
}

void TDownloadTask::chmLoadEnd(int browserId, bool isMainFrame, const QString &url)
{
    // Pop-up windows have browsers of their own; only the window's browser counts.
    if (!m_browser.IsOwnMainFrame(browserId, isMainFrame))
        return;
    switch (Loadendhandle(url)) {
    case LoadEndResult::Unchanged:
        break;
    case LoadEndResult::BookPage:
        emit BookPageLoaded();
        break;
    case LoadEndResult::OtherPage:
        emit OtherPageLoaded();
        break;
    }
}

LoadEndResult TDownloadTask::Loadendhandle(const QString &url)
{
    // Scripts queued in the document that was replaced print nothing more.
    m_scripts.DocumentReplaced();
    if (m_run.Working) {
        if (m_run.TaskState == TaskPageWait) {
            // A viewer that loads a new document per page has moved on, as with an address change.
            m_run.TickCount = m_run.PageWaitTicks - 2;
            m_run.movedSinceTurn = true;
        } else {
            m_run.TickCount = 0;
        }
        checkBook(url);
        return LoadEndResult::Unchanged;
    }
    m_run.TickCount = 0;
    const QString leftBook = std::exchange(m_leftBookLine, QString());
    if (IsBookViewerUrl(url)) {
        ClearLog(QString());
        if (const QString refusal = TvBookobj::UnusableIdReason(url); !refusal.isEmpty()) {
            AddLog(refusal); // no Download for a book that has no folder
            return LoadEndResult::OtherPage;
        }
        // The page that ended the last run is often the next book: say why it ended still.
        if (!leftBook.isEmpty())
            AddLog(leftBook);
        AddLog(QStringLiteral("Ready to download"));
        return LoadEndResult::BookPage;
    }
    return LoadEndResult::OtherPage;
}

void TDownloadTask::WMBookPage()
{
    if (m_closing || m_run.Working)
        return; // a run that started meanwhile has identified its book itself
    m_book.getID(m_browser.MainFrameUrl()); // the address now, not the one that finished loading
    AddLog(m_book.id);
    // The count of the book before is not this one's: unknown until the viewer tells it,
    // and Rebuild waits for it.
    m_run.TotalPages = 0;
    emit RebuildAvailable(false);
    Getpagemeter();
}

void TDownloadTask::Getpagemeter()
{
    const QString id = m_book.id;
    m_scripts.ExecScript(TotalPageScript(), ShortScriptTimeoutMs, [this, id](const ScriptOutcome &) {
        if (m_closing || m_run.Working || m_book.id != id || m_run.TotalPages <= 0)
            return;
        emit RebuildAvailable(HasStoredPages(m_book));
    });
}
