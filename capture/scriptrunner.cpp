#include "scriptrunner.h"

#include "delayms.h"
#include "ibrowser.h"
#include "pagescripts.h"
#include "runstate.h"
#include "vbooks.h"

namespace {
// A script that prints no end marker costs this many slices of SliceMs: 1.6 seconds.
constexpr int MaxSlices = 16;
constexpr std::uint32_t SliceMs = 100;
// A report this short cannot hold a page.
constexpr qsizetype MinReportLength = 11;
} // namespace

bool ExecScript(IBrowser &browser, const QString &code)
{
    RunState &run = Run();
    run.ScriptEnded = false;
    if (!browser.HasBrowser())
        return false;
    browser.ExecuteJavaScript(code);
    int slices = 0;
    while (!run.ScriptEnded && slices < MaxSlices && browser.HasBrowser()) {
        DelayMs(SliceMs); // console messages are handled during the wait
        ++slices;
    }
    return run.ScriptEnded;
}

void Getpagemeter(IBrowser &browser)
{
    ExecScript(browser, TotalPageScript());
}

bool savepage(IBrowser &browser, TvBookobj &book, const QString &pageScript)
{
    RunState &run = Run();
    run.LastPageReport.clear();
    ExecScript(browser, pageScript);
    if (run.LastPageReport.size() < MinReportLength)
        return false; // no report in time, or an unusable one
    book.SvePDFPage(run.LastPageReport);
    return true;
}
