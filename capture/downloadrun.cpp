#include "downloadrun.h"

TDownloadRun::TDownloadRun(const QString &url, int totalPages, const RunSettings &settings, RunPlan plan)
    : state(TaskState::Capture), PageWaitTicks(settings.pageWaitTicks), startUrl(url),
      totalPages(totalPages), wholeBook(settings.range == PageRange()), plan(std::move(plan)), sitePolicy(settings.patience)
{
}

TDownloadRun::TickStep TDownloadRun::NextTick()
{
    ++TickCount;
    switch (state) {
    case TaskState::Capture:
        if (TickCount == 1)
            return TickStep::Capture;
        if (TickCount == 2)
            return TickStep::Turn;
        // A late address change moved the count past the capture: start the cycle again
        // rather than wait for a tick that never comes.
        TickCount = 0;
        return TickStep::CaptureAgain;
    case TaskState::PageWait:
        if (TickCount > PageWaitTicks)
            Enter(TaskState::Capture);
        return TickStep::None;
    case TaskState::SiteWait:
        return TickStep::SiteWait;
    case TaskState::Build:
        return TickStep::Build;
    case TaskState::Idle:
        break;
    }
    return TickStep::None;
}

void TDownloadRun::Enter(TaskState next)
{
    state = next;
    TickCount = 0;
}

void TDownloadRun::ViewerMoved()
{
    if (state != TaskState::SiteWait)
        TickCount = PageWaitTicks - 2;
}

void TDownloadRun::DocumentLoaded()
{
    if (state == TaskState::PageWait)
        ViewerMoved(); // a viewer that loads a new document per page has moved on
    else if (state != TaskState::SiteWait)
        TickCount = 0;
}

bool TDownloadRun::PageStored(int page)
{
    sitePolicy.Reset();
    // A run that began at the page on display has the rest of the book to capture.
    if (!plan.StoredAny() && plan.CurrentPage() == 0)
        progress = RunProgress(qMax(1, plan.LastPage() - page + 1));
    if (page <= m_highestStored && !plan.SecondPass())
        return false;
    m_highestStored = qMax(page, m_highestStored);
    progress.PageStored(RunProgress::Clock::now());
    return true;
}

QString TDownloadRun::NewWayLine(const CapturedPage &how)
{
    if (how.way.isEmpty() || m_waysTold.contains(how.way))
        return {};
    m_waysTold.insert(how.way);
    return how.wayLine;
}
