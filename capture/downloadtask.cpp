#include "downloadtask.h"

#include "activitylog.h"
#include "pagescripts.h"
#include "runstate.h"
#include "scriptrunner.h"
#include "vbooks.h"

TDownloadTask::TDownloadTask(IBrowser &browser, TvBookobj &book, const QString &pageScript, DownloadTaskHost &host)
    : m_browser(browser), m_book(book), m_pageScript(pageScript), m_host(host)
{
}

void TDownloadTask::Begin()
{
    m_storedInRun = false;
}

void TDownloadTask::Taskhandle()
{
    RunState &run = Run();
    ++run.TickCount;
    m_host.ShowTickCount(run.TickCount);
    switch (TaskStates(run.TaskState)) {
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

void TDownloadTask::captureTick()
{
    RunState &run = Run();
    if (run.TickCount == 1) {
        if (savepage(m_browser, m_book, m_pageScript))
            m_storedInRun = true;
        SetLastLog(QString::asprintf("Save page %d / %d ...", m_book.curpage, run.TotalPages));
    } else if (run.TickCount == 2) {
        run.TickCount = 0;
        run.TaskState = TaskPageWait;
        ExecScript(m_browser, NextPageScript());
        SetLastLog(QString::asprintf("Loading page %d / %d ...", m_book.curpage + 1, run.TotalPages));
    } else {
        // A late address change moved the count past the capture: start the cycle again
        // rather than wait for a tick that never comes.
        run.TickCount = 0;
    }
    // The last page is recognised on a page stored in this run, never on a number left
    // over from an earlier run or another book.
    if (m_storedInRun && m_book.curpage >= run.TotalPages)
        run.TaskState = TaskBuild;
}

void TDownloadTask::pageWaitTick()
{
    RunState &run = Run();
    if (run.TickCount > run.PageWaitTicks) {
        run.TaskState = TaskCapture;
        run.TickCount = 0;
    }
}

void TDownloadTask::buildTick()
{
    AddLog(QStringLiteral("Build pdf file, wait...."));
    m_book.BuildBook(QString());
    m_host.EndRun();
    m_host.OpenOutputFolder();
}
