#include "downloadcontroller.h"

#include "apperror.h"
#include "bookidentity.h"
#include "bookpage.h"
#include "ibrowser.h"
#include "pagescripts.h"
#include "spaceneed.h"
#include "vbooks.h"

#include <QFileInfo>

using namespace std::chrono_literals;
using Clock = TDownloadRun::Clock;

TDownloadController::TDownloadController(IBrowser &browser, TePubobj &book, const QString &pageScript, QObject *parent)
    : QObject(parent), m_browser(browser), m_book(book), m_ticks([this] { guarded([this] { Tick(); }); }), m_scripts(browser),
      m_capture(browser, m_scripts, pageScript), m_builds(book),
      m_display(browser, book, m_scripts, [this] { return m_closing || m_run.Working(); })
{
    m_ticks.Failed = [this](const QString &reason, bool writeFailed) { runFailed(reason, writeFailed); };
    connect(&m_ticks, &TickLoop::Released, this, &TDownloadController::startRequestedRun);
    connect(&m_browser, &IBrowser::ConsoleMessage, this, [this](const QString &text) {
        guarded([&] { m_scripts.HandleConsoleText(text); });
    });
    connect(&m_display, &TBookOnDisplay::ViewerMoved, this, [this](const QString &url, bool newDocument) {
        guarded([&] { viewerMoved(url, newDocument); });
    });
    connect(&m_display, &TBookOnDisplay::PageProcessEnded, this, [this](const QString &how) {
        guarded([&] { pageProcessEnded(how); });
    });
    connect(&m_scripts, &TScriptRunner::BookRecordRead, &m_display, &TBookOnDisplay::RecordRead);
    connect(&m_scripts, &TScriptRunner::TitleRead, this, [this](const QString &text) { emit Event(RunEvents::ViewerLine{text}); });
    connect(&m_display, &TBookOnDisplay::Event, this, &TDownloadController::Event);
    connect(&m_display, &TBookOnDisplay::RebuildAvailable, this, &TDownloadController::RebuildAvailable);
    connect(&m_builds, &TBookBuilds::Event, this, &TDownloadController::Event);
}

TDownloadController::~TDownloadController()
{
    Close();
}

void TDownloadController::guarded(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const WriteError &e) {
        runFailed(e.message(), true);
    } catch (const AppError &e) {
        runFailed(e.message());
    }
}

// ---- Start and end of a run -------------------------------------------------------------

void TDownloadController::Start()
{
    if (m_closing || m_run.Working())
        return;
    if (Busy()) {
        m_startRequested = true; // the last run's capture or build ends first
        return;
    }
    startRun();
}

void TDownloadController::startRun()
{
    // Nothing changes when the book cannot be taken or its pages would not fit (throws).
    const TBookOnDisplay::RunStart start = m_display.TakeForRun(Settings.range);
    m_book.OcrLanguage = Settings.ocrLanguage;
    m_book.OutputFolder = Settings.outputFolder;
    RunPlan plan(start.span, Settings.range.from > 0, [this](int page) { return IsPageStored(m_book, page); });
    const RunPlan::Opening opening = plan.Start(start.onDisplay);
    CheckRoomForRun(m_book.PageFolder(), QFileInfo(m_book.PdfPath()).absolutePath(), qMax(1, opening.pagesToCapture - opening.alreadyStored),
                    qMax(1, opening.pagesToCapture));

    m_run = TDownloadRun(m_browser.MainFrameUrl(), TotalPages(), Settings, std::move(plan));
    m_watch.RunStarted(m_book.id);
    emit WorkingChanged(true);
    emit Event(RunEvents::Started{});
    if (!start.unsavedRecord.isEmpty())
        emit Event(RunEvents::BookRecordUnsaved{start.unsavedRecord});
    m_run.progress = RunProgress(opening.pagesToCapture, opening.alreadyStored);
    if (opening.storedTo > 0)
        emit Event(RunEvents::StoredAlready{opening.storedFrom, opening.storedTo,
                                            opening.step.kind == RunPlan::Step::Build ? 0 : opening.storedTo + 1});
    act(opening.step);
    emit Event(RunEvents::Progressed{m_run.progress});
    emit AwakeNeeded(true);
    m_ticks.SetInterval(Settings.tickMs);
    m_ticks.Begin();
}

void TDownloadController::Stop()
{
    m_startRequested = false;
    if (!m_run.Working())
        return;
    // Stop during the closing build stops the build too: the earlier PDF stays.
    if (m_run.state == TaskState::Build)
        m_builds.CancelRunBuild();
    endRun(RunOutcome());
}

void TDownloadController::endRun(RunOutcome outcome, bool viewerLeft)
{
    const bool wasWorking = m_run.Working();
    outcome.pagesStored = m_run.plan.StoredAny();
    m_run.state = TaskState::Idle;
    m_watch.RunEnded();
    m_ticks.End();
    emit WorkingChanged(false);
    // A closing build still on its thread keeps the machine awake until it has ended.
    if (!m_builds.RunBuildPending())
        emit AwakeNeeded(false);
    emit Event(RunEvents::Ended{outcome, viewerLeft});
    emit RebuildAvailable(TotalPages() > 0);
    if (!m_builds.Busy())
        emit Event(RunEvents::Idle{});
    if (wasWorking)
        emit Finished(outcome);
}

void TDownloadController::runFailed(const QString &reason, bool writeFailed)
{
    // The run cannot go on after it; the pages stored are kept.
    if (m_run.Working())
        endRun(RunOutcome::Failure(reason, writeFailed));
    emit Failed(reason, writeFailed);
}

void TDownloadController::startRequestedRun()
{
    if (!m_startRequested || m_run.Working() || m_closing || Busy())
        return;
    m_startRequested = false;
    guarded([this] { startRun(); });
}

void TDownloadController::Close()
{
    m_closing = true;
    m_startRequested = false;
    m_ticks.Close();
    m_scripts.Abandon();
    m_builds.Abandon();
}

// ---- Ticks --------------------------------------------------------------------------------

void TDownloadController::Tick()
{
    if (m_closing || m_ticks.Held() || !m_run.Working())
        return;
    const TDownloadRun::TickStep step = m_run.NextTick();
    emit TickCountChanged(m_run.TickCount);
    switch (step) {
    case TDownloadRun::TickStep::None:
        return;
    case TDownloadRun::TickStep::Capture:
        startCapture();
        return;
    case TDownloadRun::TickStep::Turn:
        turnPage();
        return;
    case TDownloadRun::TickStep::CaptureAgain:
        if (m_run.plan.AtEnd())
            act(m_run.plan.EndOfPages());
        return;
    case TDownloadRun::TickStep::SiteWait:
        siteWaitTick();
        return;
    case TDownloadRun::TickStep::Build:
        buildTick();
        return;
    }
}

void TDownloadController::act(const RunPlan::Step &step)
{
    if (step.beginsSecondPass)
        emit Event(RunEvents::SecondPass{m_run.plan.SecondPassPages()});
    switch (step.kind) {
    case RunPlan::Step::Capture:
        m_run.Enter(TaskState::Capture);
        return;
    case RunPlan::Step::Turn:
        // A page that went with its process cannot be turned: the next is loaded.
        if (m_run.viewerDead)
            goToPage(step.page > 0 ? step.page : m_run.plan.LastStored() + 1);
        else
            m_run.state = TaskState::Capture; // the next tick (TickCount 2) turns the page
        return;
    case RunPlan::Step::GoTo:
        goToPage(step.page);
        return;
    case RunPlan::Step::Build:
        if (m_run.plan.SecondPass() && !m_run.plan.StillMissing().isEmpty())
            emit Event(RunEvents::StillMissing{m_run.plan.StillMissing()});
        m_run.Enter(TaskState::Build);
        return;
    }
}

// ---- Capturing a page -----------------------------------------------------------------------

void TDownloadController::startCapture()
{
    if (!onBook(m_browser.MainFrameUrl()))
        return;
    savepage([this, release = m_ticks.Hold()](const CaptureResult &result) { release([&] { return captured(result); }); });
}

void TDownloadController::savepage(PageCapture::Done done)
{
    const bool askSite = !(m_run.Working() && m_run.sitePolicy.SiteSaidWhy());
    m_capture.Capture(m_book, askSite, Settings.captureTimeoutMs, m_run.Working() ? m_run.plan.LastPage() : TotalPages(),
                      [this] { return !m_run.discardCapture && !m_closing; }, std::move(done));
}

bool TDownloadController::captured(const CaptureResult &result)
{
    if (!result.error.isEmpty())
        throw WriteError(result.error);
    if (!m_run.Working())
        return false; // stopped meanwhile: the page is kept, the run is over
    // The page process ended during the capture: that was the try.
    const QString ended = std::exchange(m_run.processEnded, QString());
    if (result.stored)
        pageStored(result);
    else if (!ended.isEmpty())
        pageFailed({PageFailure::ProcessEnded, SiteFault(), ended});
    else
        pageFailed(result.failure);
    return true;
}

void TDownloadController::pageStored(const CaptureResult &result)
{
    const int page = result.page;
    const bool counted = m_run.PageStored(page);
    if (counted)
        m_builds.PageStored(page, m_book.OcrLanguage);
    emit Event(RunEvents::PageStored{page, m_run.totalPages, m_run.NewWayLine(result.capture), counted, m_run.progress});
    act(m_run.plan.PageStored(page));
}

void TDownloadController::pageFailed(const PageFailure &failure)
{
    // The page on display before any was stored is known by the address, when it says.
    const int page = m_run.plan.CurrentPage() > 0 ? m_run.plan.CurrentPage() : BookPageFromUrl(m_browser.MainFrameUrl());
    const SiteWaitPolicy::Decision decision = m_run.sitePolicy.Failed(failure, Clock::now(), page > 0, m_run.plan.SecondPass());
    using Decision = SiteWaitPolicy::Decision;
    if (failure.kind == PageFailure::ProcessEnded) {
        const bool hung = failure.reason == HungProcess;
        emit Event(RunEvents::PageProcessEnded{failure.reason, hung, page, decision.kind == Decision::Reload});
        // One that no longer answers is ended, so that the viewer can be loaded into a new one.
        if (hung)
            m_browser.EndPageProcess();
        m_run.viewerDead = true;
    }
    switch (decision.kind) {
    case Decision::TryAgain:
        m_run.TickCount = 0; // the same page again on the next tick, without turning
        return;
    case Decision::Reload:
        goToPage(page);
        return;
    case Decision::GiveUp: {
        if (decision.cause == GiveUpCause::Unusable)
            emit Event(RunEvents::PageUnusable{decision.why});
        emit Event(RunEvents::PageGivenUp{m_run.plan.CurrentPage(), m_run.plan.LastStored(), m_run.totalPages, decision.cause,
                                          decision.why});
        m_run.TickCount = 1; // a turn to the next page comes on the next tick
        act(m_run.plan.PageGivenUp(m_run.plan.CurrentPage()));
        return;
    }
    case Decision::Wait:
        m_run.plan.Expect(page);
        m_run.waitUntil = Clock::now() + decision.wait;
        m_run.Enter(TaskState::SiteWait);
        emit Event(RunEvents::WaitingForSite{page, decision.why, decision.wait});
        siteWaitTick();
        return;
    }
}

void TDownloadController::pageProcessEnded(const QString &how)
{
    if (!m_run.Working())
        return;
    // What the page was doing ends with it: a capture under way counts it as its try.
    m_run.viewerDead = true;
    m_run.processEnded = how;
    m_scripts.DocumentReplaced();
    if (m_run.processEnded.isEmpty() || m_ticks.Held())
        return;
    // Nothing was under way: the page waited for or about to be captured counts it.
    if (m_run.state == TaskState::Capture || m_run.state == TaskState::PageWait)
        pageFailed({PageFailure::ProcessEnded, SiteFault(), std::exchange(m_run.processEnded, QString())});
}

void TDownloadController::siteWaitTick()
{
    const int page = m_run.plan.CurrentPage();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_run.waitUntil - Clock::now());
    if (left <= 0ms)
        goToPage(page); // the viewer again at that page: it loads the image anew
    else
        emit Event(RunEvents::WaitCountdown{page, left, m_run.progress});
}

// ---- Moving the viewer ----------------------------------------------------------------------

void TDownloadController::goToPage(int page)
{
    m_run.Enter(TaskState::PageWait);
    m_watch.SentToPage(); // no turn that might not move
    const QString here = m_browser.MainFrameUrl();
    const QString viewer = IsBookViewerUrl(here) ? here : m_run.startUrl;
    // A page not known (none stored yet, the address names none) is loaded as it was shown.
    if (page <= 0) {
        m_browser.LoadURL(viewer);
        return;
    }
    emit Event(RunEvents::LoadingPage{page, m_run.totalPages});
    m_browser.LoadURL(BookPageUrl(viewer, page));
}

void TDownloadController::turnPage()
{
    if (m_watch.TurnIsStuck(m_run.plan.LastStored())) {
        emit Event(RunEvents::ViewerStuck{});
        act(m_run.plan.EndOfPages());
        return;
    }
    m_run.Enter(TaskState::PageWait);
    m_scripts.ExecScript(NextPageScript(), Pacing::ShortScriptTimeoutMs, [this, release = m_ticks.Hold()](const ScriptOutcome &) {
        release([this] {
            if (!m_run.Working())
                return false;
            const int page = m_run.plan.CurrentPage() > 0 ? m_run.plan.CurrentPage() : m_run.plan.LastStored() + 1;
            emit Event(RunEvents::LoadingPage{page, m_run.totalPages});
            return true;
        });
    });
}

// ---- Building ---------------------------------------------------------------------------------

void TDownloadController::buildTick()
{
    m_watch.Building(); // every page has had its turn: the viewer may go where it likes
    auto ended = [this, release = m_ticks.Hold()](const BookBuildOutcome &outcome) {
        if (!m_run.Working())
            emit AwakeNeeded(false); // stopped during the build, whose thread has ended now
        release([&] { return closingBuildEnded(outcome); });
    };
    // A run without a range builds the whole book, every page stored; a range its own pages.
    if (m_run.wholeBook)
        m_builds.BuildForRun(m_run.totalPages, std::move(ended));
    else
        m_builds.BuildForRun(m_run.plan.LastPage(), std::move(ended), m_run.plan.Span().first, true);
}

bool TDownloadController::closingBuildEnded(const BookBuildOutcome &outcome)
{
    if (!m_run.Working()) {
        // Stopped during the build: the run has ended already, and said so.
        emit Event(RunEvents::Idle{});
        return false;
    }
    const RunOutcome end = RunOutcomeOfBuild(outcome);
    if (end.kind == RunOutcome::Failed)
        throw WriteError(end.reason); // the run ends failed, a queue goes on
    endRun(end);
    if (outcome.kind == BookBuildOutcome::Written)
        emit OpenOutputFolder();
    return false;
}

void TDownloadController::Rebuild()
{
    m_book.OcrLanguage = Settings.ocrLanguage;
    m_book.OutputFolder = Settings.outputFolder;
    m_builds.Rebuild(TotalPages(), [this](const BookBuildOutcome &outcome) {
        if (!m_run.Working())
            emit Event(RunEvents::Idle{});
        if (outcome.kind == BookBuildOutcome::Failed)
            emit Failed(outcome.error, false);
        else if (outcome.kind == BookBuildOutcome::Written)
            emit OpenOutputFolder();
    });
}

// ---- The viewer -------------------------------------------------------------------------

bool TDownloadController::onBook(const QString &url)
{
    const ViewerWatch::Answer answer = m_watch.AddressChanged(url);
    if (!m_run.Working() || answer.verdict == ViewerWatch::Verdict::Same)
        return true;
    // A run belongs to one book: what the viewer shows now is not stored in its folder.
    m_run.discardCapture = true;
    m_display.RunLeftBook(answer.reason);
    RunOutcome end;
    end.kind = RunOutcome::LeftBook;
    end.reason = answer.reason;
    endRun(end, answer.verdict == ViewerWatch::Verdict::LeftBook);
    return false;
}

void TDownloadController::viewerMoved(const QString &url, bool newDocument)
{
    if (!m_run.Working())
        return;
    // A new document in the main frame while a page is awaited: the viewer moved on; a capture
    // under way starts its cycle again. An address that changes cuts a page's wait short.
    if (!newDocument || m_run.state == TaskState::PageWait)
        m_watch.Moved();
    if (newDocument)
        m_run.viewerDead = false;
    newDocument ? m_run.DocumentLoaded() : m_run.ViewerMoved();
    onBook(url);
}

void TDownloadController::IdentifyBook()
{
    m_display.Identify();
}
