#include "downloadcontroller.h"

#include "apperror.h"
#include "bookidentity.h"
#include "bookinfo.h"
#include "booktitle.h"
#include "capturedpage.h"
#include "ibrowser.h"
#include "pagefile.h"
#include "pagerecognition.h"
#include "pagescripts.h"
#include "sitefault.h"
#include "vbooks.h"

#include <utility>

using namespace std::chrono_literals;

namespace {
// A report this short cannot hold a page.
constexpr qsizetype MinReportLength = 11;
// Scripts other than the page script print little; their probe comes back at once.
constexpr int ShortScriptTimeoutMs = 10000;

QString pageList(const QList<int> &pages)
{
    QString text;
    for (int page : pages)
        text += QLatin1Char(' ') + QString::number(page);
    return text;
}

QString storedLine(int first, int last)
{
    return first == last ? QStringLiteral("Page %1 is stored already").arg(first)
                         : QStringLiteral("Pages %1-%2 are stored already").arg(first).arg(last);
}
} // namespace

TDownloadController::Patience TDownloadController::DefaultPatience()
{
    return {Pacing::SiteWaits, Pacing::GiveUpAfter, Pacing::LongestRetryAfter};
}

TDownloadController::TDownloadController(IBrowser &browser, TePubobj &book, const QString &pageScript, QObject *parent)
    : QObject(parent), m_browser(browser), m_book(book), m_pageScript(pageScript), m_scripts(browser), m_builds(book, m_log)
{
    m_timer.setInterval(Pacing::TickIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { guarded([this] { Tick(); }); });
    connect(&m_log, &TRunLog::Line, this, &TDownloadController::LogLine);
    connect(&m_browser, &IBrowser::ConsoleMessage, this, [this](const QString &text) {
        guarded([&] { m_scripts.HandleConsoleText(text); });
    });
    connect(&m_browser, &IBrowser::AddressChange, this, [this](int id, bool isMain, const QString &url) {
        guarded([&] { addressChanged(id, isMain, url); });
    });
    connect(&m_browser, &IBrowser::LoadEnd, this, [this](int id, bool isMain, const QString &url) {
        guarded([&] { loadEnded(id, isMain, url); });
    });
    connect(&m_scripts, &TScriptRunner::PageCountRead, this, &TDownloadController::pageCountRead);
    connect(&m_scripts, &TScriptRunner::TitleRead, &m_log, &TRunLog::add);
    connect(&m_builds, &TBookBuilds::Progress, this, [this](int page, int totalPages) {
        emit Progress(page, totalPages, QStringLiteral("pdf page %1 / %2").arg(page).arg(totalPages));
    });
}

TDownloadController::~TDownloadController()
{
    Close();
}

void TDownloadController::guarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const AppError &e) {
        emit Failed(e.message());
    } catch (const std::exception &e) {
        emit Failed(QString::fromLocal8Bit(e.what()));
    }
}

bool TDownloadController::Busy() const
{
    return m_tickPending || m_builds.RunBuildPending();
}

void TDownloadController::SetOcrLanguage(const QString &language)
{
    m_book.OcrLanguage = language;
}

void TDownloadController::SetOutputFolder(const QString &folder)
{
    m_book.OutputFolder = folder;
}

// ---- Start and end of a run -------------------------------------------------------------

void TDownloadController::Start()
{
    if (m_closing || m_run.Working)
        return;
    if (Busy()) {
        m_startRequested = true; // the last run's capture or build ends first
        return;
    }
    startRun();
}

void TDownloadController::Stop()
{
    m_startRequested = false;
    // Stop during the closing build stops the build too: the earlier PDF stays.
    if (m_run.Working && m_run.state == TaskState::Build)
        m_builds.CancelRunBuild();
    endRun(RunOutcome());
    m_log.add(QStringLiteral("user abort"));
}

void TDownloadController::endRun(const RunOutcome &outcome)
{
    const bool wasWorking = m_run.Working;
    m_run.Working = false;
    m_run.state = TaskState::Idle;
    emit WorkingChanged(false);
    // A closing build still on its thread keeps the machine awake until it has ended.
    if (!m_builds.RunBuildPending())
        emit AwakeNeeded(false);
    m_log.add(QStringLiteral("download end."));
    emit RebuildAvailable(m_totalPages > 0);
    m_timer.stop();
    if (!m_builds.Busy())
        emit ProgressEnded();
    if (wasWorking)
        emit Finished(outcome);
}

void TDownloadController::startRun()
{
    // The book and the pages are settled before anything changes: an address whose id the
    // program cannot use, or a range the book does not have, starts nothing, and the record
    // keeps the last usable book.
    const QString url = m_browser.MainFrameUrl();
    const QString refusal = UnusableBookIdReason(url);
    if (!refusal.isEmpty())
        throw AppError(refusal);
    const int onDisplay = BookPageFromUrl(url);
    QString rangeError;
    const std::optional<PageSpan> span = ResolvePageRange(m_range, onDisplay, m_totalPages, &rangeError);
    if (!span)
        throw AppError(rangeError);
    m_book.getID(url);

    m_run = TDownloadRun();
    m_run.Working = true;
    m_run.state = TaskState::Capture;
    m_run.PageWaitTicks = RunPageWaitTicks;
    m_run.bookId = m_book.id;
    m_run.startUrl = url;
    m_run.span = *span;
    ++m_generation;
    emit WorkingChanged(true);
    m_log.clear(QStringLiteral("downloading ...."));
    m_leftBookLine.clear();
    m_book.setWorking(true);
    // The title the viewer gives the book goes into its PDF, also when rebuilt later.
    if (!SaveBookInfo(m_book.PageFolder(), BookInfo{BookTitleFromPageTitle(m_browser.Title(), m_book.id), url})) {
        // Above the run's first line, which its progress rewrites.
        m_log.replaceLast(QStringLiteral("Cannot write file \"%1\": a later Rebuild will not know the book's title")
                              .arg(BookInfoPath(m_book.PageFolder())));
        m_log.add(QStringLiteral("downloading ...."));
    }
    prepareRun(onDisplay);
    emit Progress(m_run.progress.PagesStored(), qMax(1, m_run.progress.PagesToCapture()), RunProgressText(m_run.progress));
    emit AwakeNeeded(true);
    if (!m_closing)
        m_timer.start();
}

void TDownloadController::prepareRun(int onDisplay)
{
    const int last = lastPage();
    // Without a range and without a page number in the address, the run begins with the page
    // on display, whichever it is.
    if (m_range.from == 0 && onDisplay == 0) {
        m_run.progress = RunProgress(m_totalPages);
        return;
    }
    // The first page to capture, and how many of the range are there already.
    int first = 0, stored = 0;
    if (last > 0) {
        for (int page = m_run.span.first; page <= last; ++page) {
            if (IsPageStored(m_book, page))
                ++stored;
            else if (first == 0)
                first = page;
        }
        m_run.progress = RunProgress(last - m_run.span.first + 1, stored);
    } else {
        first = FirstMissingPage(m_book, m_run.span.first, 0);
    }
    if (first == 0) {
        // Every page is there: the run builds the PDF.
        m_log.add(storedLine(m_run.span.first, last));
        m_log.add(QStringLiteral("downloading ...."));
        enterState(TaskState::Build);
        return;
    }
    if (first > m_run.span.first) {
        m_log.add(storedLine(m_run.span.first, first - 1) + QStringLiteral(": going on at page %1").arg(first));
        m_log.add(QStringLiteral("downloading ...."));
    }
    if (first != onDisplay)
        goToPage(first);
}

void TDownloadController::Close()
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

void TDownloadController::Tick()
{
    m_timer.stop(); // the next tick comes an interval after this one has ended
    if (m_closing || m_tickPending || !m_run.Working)
        return;
    ++m_run.TickCount;
    emit TickCountChanged(m_run.TickCount);
    switch (m_run.state) {
    case TaskState::Capture:
        captureTick();
        break;
    case TaskState::PageWait:
        pageWaitTick();
        break;
    case TaskState::SiteWait:
        siteWaitTick();
        break;
    case TaskState::Build:
        buildTick();
        break;
    case TaskState::Idle:
        break;
    }
    rearm();
}

void TDownloadController::rearm()
{
    if (m_run.Working && !m_closing && !m_tickPending)
        m_timer.start();
}

void TDownloadController::endTick(quint64 generation, const std::function<bool()> &rest)
{
    m_tickPending = false;
    bool goOn = false;
    if (generation == m_generation && !m_closing) {
        try {
            goOn = rest();
        } catch (const AppError &e) {
            emit Failed(e.message()); // the timer stays off; Stop ends the run
        }
    }
    if (goOn)
        rearm();
    startRequestedRun();
}

void TDownloadController::startRequestedRun()
{
    if (!m_startRequested || m_run.Working || m_closing || Busy())
        return;
    m_startRequested = false;
    guarded([this] { startRun(); });
}

int TDownloadController::lastPage() const
{
    return m_run.span.last > 0 ? m_run.span.last : m_totalPages;
}

void TDownloadController::endTest()
{
    // The last page is recognised on a page stored in this run, never on a number left over
    // from an earlier run or another book.
    if (m_run.state == TaskState::Capture && m_run.storedInRun && lastPage() > 0 && m_book.curpage >= lastPage()
        && m_run.target <= m_book.curpage)
        endOfPages();
}

void TDownloadController::captureTick()
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

void TDownloadController::startCapture()
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

void TDownloadController::savepage(std::function<void(bool stored, const QString &error)> done)
{
    m_capture = CapturedPage();
    m_fault.clear();
    // Until the site has said why the page's image fails, the page script asks it; after that
    // the viewer's own request is the only one a try makes.
    m_browser.ExecuteJavaScript(m_run.Working && m_run.faultKnown ? QStringLiteral("var QMprobe=false;")
                                                                  : QStringLiteral("var QMprobe=true;"));
    const QString dirid = m_book.dirid; // the book this capture is for
    m_scripts.ExecScript(m_pageScript, CaptureTimeoutMs, [this, dirid, done = std::move(done)](const ScriptOutcome &outcome) {
        bool stored = false;
        QString error;
        m_fault = outcome.fault;
        // Nothing of another book is stored: not after the run left its book, not when the
        // record has been given another book meanwhile. A report whose image is none the
        // build can read (an image that has not loaded gives an empty canvas) is a failed
        // capture: the page file there stays.
        if (outcome.report.size() >= MinReportLength && !m_run.discardCapture && m_book.dirid == dirid) {
            try {
                m_capture = StoreCapturedPage(m_book, outcome.report);
                stored = m_capture.stored;
            } catch (const AppError &e) {
                error = e.message();
            }
        }
        done(stored, error);
    });
}

bool TDownloadController::captured(bool stored, const QString &error)
{
    if (!error.isEmpty())
        throw AppError(error);
    if (!m_run.Working)
        return false; // stopped meanwhile: the page is kept, the run is over
    if (stored) {
        const int page = m_book.curpage;
        pageStored(page);
        m_run.storedInRun = true;
        m_run.captureAttempts = 0;
        m_run.waits = 0;
        m_run.faultKnown = false;
        m_run.faultText.clear();
        m_run.retryAfter.reset();
        const QString progress = QString::asprintf("Save page %d / %d ...", page, m_totalPages);
        // Once per run for each way pages came, above the progress line.
        if (!m_capture.way.isEmpty() && !m_run.waysLogged.contains(m_capture.way)) {
            m_run.waysLogged.insert(m_capture.way);
            m_log.replaceLast(m_capture.wayLine);
            m_log.add(progress);
        } else {
            m_log.replaceLast(progress);
        }
        afterPage(page);
        return true;
    }
    const bool unusable = !m_capture.fault.isEmpty();
    const bool siteSaidWhy = !m_fault.isEmpty();
    if (!siteSaidWhy && ++m_run.captureAttempts < MaxCaptureAttempts) {
        m_run.TickCount = 0; // the same page again on the next tick, without turning
    } else if (unusable) {
        m_log.add(QStringLiteral("The page image is not usable: %1").arg(m_capture.fault));
        giveUpPage();
    } else {
        waitForSite();
    }
    return true;
}

void TDownloadController::afterPage(int page)
{
    if (m_run.secondPass) {
        endOfPages();
        return;
    }
    // With the book's end not known, the run ends with its first page, as the end test has it.
    const int last = lastPage();
    if (page >= last) {
        endOfPages();
        return;
    }
    // The next page not stored yet; the viewer's own Next Page when it is the next one.
    const int next = FirstMissingPage(m_book, page + 1, last);
    if (next == 0) {
        endOfPages();
        return;
    }
    m_run.target = next;
    if (next != page + 1)
        goToPage(next);
    // else the next tick (TickCount 2) turns the page
}

int TDownloadController::failingPage() const
{
    if (m_run.target > 0)
        return m_run.target;
    if (m_run.storedInRun)
        return m_book.curpage + 1;
    return 0; // the page on display, before any was stored
}

void TDownloadController::waitForSite()
{
    m_run.captureAttempts = 0;
    const auto now = TDownloadRun::Clock::now();
    if (m_run.waits == 0)
        m_run.failingSince = now;
    // The page on display before any was stored is known by the address, when it says.
    const int page = failingPage() > 0 ? failingPage() : BookPageFromUrl(m_browser.MainFrameUrl());
    if (!m_fault.isEmpty()) {
        const SiteFault fault = ReadSiteFault(m_fault);
        m_run.faultKnown = true;
        m_run.faultText = fault.text;
        m_run.retryAfter = fault.retryAfter;
    }
    if (m_run.secondPass || page <= 0 || SitePatience.waits.isEmpty()
        || now - m_run.failingSince >= SitePatience.giveUpAfter) {
        giveUpPage();
        return;
    }
    // The next of the growing waits, and never less than the site asked for (up to a limit).
    std::chrono::milliseconds wait = SitePatience.waits.at(qMin(m_run.waits, int(SitePatience.waits.size()) - 1));
    if (m_run.retryAfter)
        wait = std::max(wait, std::min(*m_run.retryAfter, SitePatience.longestRetryAfter));
    ++m_run.waits;
    m_run.waitUntil = now + wait;
    m_run.target = page;
    enterState(TaskState::SiteWait);
    m_log.add(QStringLiteral("Page %1 did not load (%2): trying again in %3")
                  .arg(page)
                  .arg(m_run.faultText.isEmpty() ? QStringLiteral("no picture") : m_run.faultText, WaitText(wait)));
    m_log.add(QStringLiteral("Waiting for the site ..."));
    siteWaitTick();
}

void TDownloadController::siteWaitTick()
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_run.waitUntil - TDownloadRun::Clock::now());
    if (left <= 0ms) {
        goToPage(m_run.target); // the viewer again at that page: it loads the image anew
        return;
    }
    const QString text = QStringLiteral("Waiting for the site: page %1 again in %2").arg(m_run.target).arg(WaitText(left));
    m_log.replaceLast(text);
    emit Progress(m_run.progress.PagesStored(), qMax(1, m_run.progress.PagesToCapture()), text);
}

void TDownloadController::giveUpPage()
{
    m_run.captureAttempts = 0;
    m_run.waits = 0;
    m_run.faultKnown = false;
    m_run.faultText.clear();
    m_run.retryAfter.reset();
    const int page = failingPage();
    const bool known = page > 0;
    m_log.add(known ? QStringLiteral("Page %1 could not be captured").arg(page)
                    : QStringLiteral("The page on display could not be captured"));
    // A line of its own for the progress that follows, so the one above stays.
    m_log.add(QString::asprintf("Save page %d / %d ...", m_book.curpage, m_totalPages));
    if (known) {
        if (!m_run.givenUp.contains(page))
            m_run.givenUp.append(page);
        emit PageGivenUp(page);
    }
    if (m_run.secondPass) {
        endOfPages();
        return;
    }
    const int last = lastPage();
    if (known && last > 0 && page >= last) {
        endOfPages(); // it was the last page
        return;
    }
    const int next = known ? FirstMissingPage(m_book, page + 1, last) : 0;
    if (known && next == 0) {
        endOfPages();
        return;
    }
    m_run.state = TaskState::Capture;
    if (!known || next == page + 1) {
        m_run.target = known ? next : 0;
        m_run.TickCount = 1; // the next tick (TickCount 2) turns the page
        return;
    }
    goToPage(next);
}

void TDownloadController::goToPage(int page)
{
    m_run.target = page;
    enterState(TaskState::PageWait);
    m_run.movedSinceTurn = true; // the viewer is sent there: no turn that might not move
    m_run.stuckTurns = 0;
    m_log.replaceLast(QString::asprintf("Loading page %d / %d ...", page, m_totalPages));
    const QString here = m_browser.MainFrameUrl();
    m_browser.LoadURL(BookPageUrl(IsBookViewerUrl(here) ? here : m_run.startUrl, page));
}

void TDownloadController::endOfPages()
{
    if (!m_run.secondPass && !m_run.givenUp.isEmpty()) {
        // The pages given up are tried once more, now that the site had time.
        m_run.secondPass = true;
        m_run.secondPassPages = std::exchange(m_run.givenUp, {});
        m_log.add(QStringLiteral("Trying once more the pages that could not be captured:") + pageList(m_run.secondPassPages));
        m_log.add(QStringLiteral("downloading ....")); // the line the progress rewrites
    }
    if (m_run.secondPass && !m_run.secondPassPages.isEmpty()) {
        goToPage(m_run.secondPassPages.takeFirst());
        return;
    }
    if (m_run.secondPass && !m_run.givenUp.isEmpty())
        m_log.add(QStringLiteral("Still missing:") + pageList(m_run.givenUp));
    enterState(TaskState::Build);
}

void TDownloadController::pageStored(int page)
{
    if (!m_run.storedInRun && m_run.target == 0) {
        // The run began at this page: the pages to capture are the rest of the book.
        m_run.progress = RunProgress(qMax(1, lastPage() - page + 1));
    } else if (page <= m_run.lastStoredPage && !m_run.secondPass) {
        return; // the same page again
    }
    m_run.lastStoredPage = qMax(page, m_run.lastStoredPage);
    m_run.progress.PageStored(RunProgress::Clock::now());
    emit PageStored(page);
    // Read while the run waits for the next page, so the build finds the text ready.
    if (!m_book.OcrLanguage.isEmpty()) {
        if (!m_recognition)
            m_recognition = std::make_unique<TPageRecognition>();
        m_recognition->Enqueue(PageFilePath(m_book.dirid, page), m_book.OcrLanguage);
    }
    emit Progress(m_run.progress.PagesStored(), m_run.progress.PagesToCapture(), RunProgressText(m_run.progress));
}

void TDownloadController::notifyOutcome(const BookBuildOutcome &outcome, bool run)
{
    switch (outcome.kind) {
    case BookBuildOutcome::Written:
        emit Notice(QStringLiteral("PDF saved"), outcome.result.missing.isEmpty() || !run
                                                     ? outcome.path
                                                     : outcome.path + QStringLiteral("\nmissing pages") + outcome.result.missing);
        return;
    case BookBuildOutcome::NoPages:
        if (run)
            emit Notice(QStringLiteral("Download ended"), QStringLiteral("No page of the book is stored: no pdf file written"));
        return;
    case BookBuildOutcome::Failed:
        emit Notice(QStringLiteral("The pdf file could not be built"), outcome.error);
        return;
    case BookBuildOutcome::Cancelled:
        return;
    }
}

void TDownloadController::turnPage()
{
    // A viewer that no longer moves (the end of the book without a count, a button that does
    // nothing) would keep the run going for ever.
    const bool moved = m_run.movedSinceTurn || (m_run.storedInRun && m_book.curpage > m_run.pageAtTurn);
    m_run.stuckTurns = moved ? 0 : m_run.stuckTurns + 1;
    if (m_run.stuckTurns >= MaxStuckTurns) {
        m_log.add(QStringLiteral("The viewer does not move on to another page"));
        endOfPages();
        return;
    }
    m_run.pageAtTurn = m_book.curpage;
    m_run.movedSinceTurn = false;
    enterState(TaskState::PageWait);
    m_tickPending = true;
    const quint64 generation = m_generation;
    m_scripts.ExecScript(NextPageScript(), ShortScriptTimeoutMs, [this, generation](const ScriptOutcome &) {
        endTick(generation, [this] {
            if (!m_run.Working)
                return false;
            const int page = m_run.target > 0 ? m_run.target : m_book.curpage + 1;
            m_log.replaceLast(QString::asprintf("Loading page %d / %d ...", page, m_totalPages));
            return true;
        });
    });
}

void TDownloadController::enterState(TaskState state)
{
    m_run.state = state;
    m_run.TickCount = 0;
}

void TDownloadController::viewerMoved()
{
    // The viewer moved on: the wait after a page turn is cut short (a wait for the site is not).
    if (m_run.state != TaskState::SiteWait)
        m_run.TickCount = m_run.PageWaitTicks - 2;
    m_run.movedSinceTurn = true;
}

void TDownloadController::pageWaitTick()
{
    if (m_run.TickCount > m_run.PageWaitTicks)
        enterState(TaskState::Capture);
}

bool TDownloadController::wholeBookBuild() const
{
    return m_range == PageRange();
}

void TDownloadController::buildTick()
{
    // Pages not read yet are read by the build, on both cores.
    if (m_recognition)
        m_recognition->Clear();
    m_log.add(QStringLiteral("Build pdf file, wait...."));
    m_tickPending = true;
    const quint64 generation = m_generation;
    auto ended = [this, generation](const BookBuildOutcome &outcome) {
        if (!m_run.Working)
            emit AwakeNeeded(false); // stopped during the build, whose thread has ended now
        endTick(generation, [&] { return closingBuildEnded(outcome); });
    };
    // A run without a range builds the whole book, every page stored; a range its own pages.
    if (wholeBookBuild())
        m_builds.BuildForRun(m_totalPages, std::move(ended));
    else
        m_builds.BuildForRun(lastPage(), std::move(ended), m_run.span.first, true);
}

bool TDownloadController::closingBuildEnded(const BookBuildOutcome &outcome)
{
    if (!m_run.Working) {
        // Stopped during the build: the run has ended already, and said so.
        emit ProgressEnded();
        return false;
    }
    notifyOutcome(outcome, true);
    RunOutcome end;
    switch (outcome.kind) {
    case BookBuildOutcome::Failed:
        throw AppError(outcome.error); // Working stays on with Stop shown
    case BookBuildOutcome::Cancelled:
        return false;
    case BookBuildOutcome::NoPages:
        end.kind = RunOutcome::NoPages;
        endRun(end);
        return false;
    case BookBuildOutcome::Written:
        end.kind = outcome.result.missing.isEmpty() ? RunOutcome::Complete : RunOutcome::PagesMissing;
        end.pdfPath = outcome.path;
        end.missing = outcome.result.missing;
        endRun(end);
        emit OpenOutputFolder();
        return false;
    }
    return false;
}

// ---- Rebuild --------------------------------------------------------------------------------

void TDownloadController::Rebuild()
{
    m_log.add(QStringLiteral("Build pdf file, wait...."));
    m_builds.Rebuild(m_totalPages, [this](const BookBuildOutcome &outcome) {
        if (m_closing)
            return;
        notifyOutcome(outcome, false);
        if (!m_run.Working)
            emit ProgressEnded();
        if (outcome.kind == BookBuildOutcome::Failed)
            emit Failed(outcome.error);
        else if (outcome.kind == BookBuildOutcome::Written)
            emit OpenOutputFolder();
    });
}

// ---- The viewer -------------------------------------------------------------------------

void TDownloadController::addressChanged(int browserId, bool isMainFrame, const QString &url)
{
    if (!m_browser.IsOwnMainFrame(browserId, isMainFrame) || !m_run.Working)
        return;
    viewerMoved();
    checkBook(url);
}

void TDownloadController::checkBook(const QString &url)
{
    if (!m_run.Working)
        return;
    QString id;
    if (IsBookViewerUrl(url)) {
        try {
            id = BookIdFromUrl(url);
        } catch (const AppError &) {
        }
    }
    // The run keeps the id it started with (and with it its folder and PDF name); the
    // viewer's address may drop the fragment the book was opened with.
    if (!id.isEmpty() && SameBook(id, m_run.bookId))
        return;
    // A run belongs to one book: what the viewer shows now is not stored in its folder.
    m_run.discardCapture = true;
    m_leftBookLine = id.isEmpty() ? QStringLiteral("The viewer left the book: download stopped")
                                  : QStringLiteral("The viewer shows another book (%1): download stopped").arg(id);
    RunOutcome end;
    end.kind = RunOutcome::LeftBook;
    end.reason = m_leftBookLine;
    endRun(end);
    m_log.add(m_leftBookLine);
    if (id.isEmpty())
        m_log.add(QStringLiteral("To go on, sign in if the site asks, open the book and press Download: "
                                 "it goes on at the first page not stored"));
}

void TDownloadController::loadEnded(int browserId, bool isMainFrame, const QString &url)
{
    // Pop-up windows have browsers of their own; only the main browser counts.
    if (!m_browser.IsOwnMainFrame(browserId, isMainFrame))
        return;
    switch (loadEndResult(url)) {
    case LoadEndResult::Unchanged:
        break;
    case LoadEndResult::BookPage:
        emit BookPageLoaded();
        // Identified once the event loop has come round: the address is the page's by then.
        QMetaObject::invokeMethod(this, [this] { guarded([this] { IdentifyBook(); }); }, Qt::QueuedConnection);
        break;
    case LoadEndResult::OtherPage:
        emit OtherPageLoaded();
        break;
    }
}

LoadEndResult TDownloadController::loadEndResult(const QString &url)
{
    // Scripts queued in the document that was replaced print nothing more.
    m_scripts.DocumentReplaced();
    if (m_run.Working) {
        if (m_run.state == TaskState::PageWait)
            viewerMoved(); // a viewer that loads a new document per page has moved on
        else if (m_run.state != TaskState::SiteWait)
            m_run.TickCount = 0; // a capture under way starts its cycle again
        checkBook(url);
        return LoadEndResult::Unchanged;
    }
    const QString leftBook = std::exchange(m_leftBookLine, QString());
    if (IsBookViewerUrl(url)) {
        m_log.clear(QString());
        if (const QString refusal = UnusableBookIdReason(url); !refusal.isEmpty()) {
            m_log.add(refusal); // no Download for a book that has no folder
            return LoadEndResult::OtherPage;
        }
        // The page that ended the last run is often the next book: say why it ended still.
        if (!leftBook.isEmpty())
            m_log.add(leftBook);
        m_log.add(QStringLiteral("Ready to download"));
        return LoadEndResult::BookPage;
    }
    return LoadEndResult::OtherPage;
}

void TDownloadController::IdentifyBook()
{
    if (m_closing || m_run.Working)
        return; // a run that started meanwhile has identified its book itself
    m_book.getID(m_browser.MainFrameUrl()); // the address now, not the one that finished loading
    m_log.add(m_book.id);
    // The count of the book before is not this one's: unknown until the viewer tells it,
    // and Rebuild waits for it.
    m_totalPages = 0;
    emit RebuildAvailable(false);
    Getpagemeter();
}

void TDownloadController::pageCountRead(qint64 count)
{
    if (count < 0) {
        // "undefined" from a viewer without a count, or a count that is garbage: this book's
        // count is not known, and the count of the book before is not its own.
        m_totalPages = 0;
        return;
    }
    if (count > MaxBookPages) {
        m_log.add(QStringLiteral("Total pages %1 is more than a book has: not taken").arg(count));
        m_totalPages = 0;
        return;
    }
    m_totalPages = int(count);
    m_log.add(QString::asprintf("Total pages %d", m_totalPages));
}

void TDownloadController::Getpagemeter()
{
    const QString id = m_book.id;
    m_scripts.ExecScript(TotalPageScript(), ShortScriptTimeoutMs, [this, id](const ScriptOutcome &) {
        if (m_closing || m_run.Working || m_book.id != id)
            return;
        emit BookIdentified(id, m_totalPages);
        if (m_totalPages <= 0)
            return;
        emit RebuildAvailable(HasStoredPages(m_book));
    });
}
