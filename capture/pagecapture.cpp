#include "pagecapture.h"

#include "apperror.h"
#include "ibrowser.h"
#include "scriptrunner.h"
#include "sitefault.h"
#include "vbooks.h"

namespace {
// A report this short cannot hold a page.
constexpr qsizetype MinReportLength = 11;
} // namespace

PageCapture::PageCapture(IBrowser &browser, TScriptRunner &scripts, const QString &pageScript)
    : m_browser(browser), m_scripts(scripts), m_pageScript(pageScript)
{
}

void PageCapture::Capture(TvBookobj &book, bool askSite, int timeoutMs, int lastPage, StillWanted stillWanted, Done done)
{
    // Until the site has said why the page's image fails, the page script asks it; after that
    // the viewer's own request is the only one a try makes.
    m_browser.ExecuteJavaScript(askSite ? QStringLiteral("var QMprobe=true;") : QStringLiteral("var QMprobe=false;"));
    const QString dirid = book.dirid; // the book this capture is for
    m_scripts.ExecScript(m_pageScript, timeoutMs, [&book, dirid, lastPage, stillWanted = std::move(stillWanted),
                                                   done = std::move(done)](const ScriptOutcome &outcome) {
        CaptureResult result;
        // Nothing of another book is stored: not after the run left its book, not when the
        // record has been given another book meanwhile. A report whose image is none the
        // build can read (an image that has not loaded gives an empty canvas) is a failed
        // capture: the page file there stays.
        if (outcome.report.size() >= MinReportLength && book.dirid == dirid && (!stillWanted || stillWanted())) {
            try {
                result.capture = StoreCapturedPage(book, outcome.report, lastPage);
                result.stored = result.capture.stored;
                result.page = result.capture.page;
            } catch (const AppError &e) {
                result.error = e.message();
            }
        }
        if (!outcome.fault.isEmpty())
            result.failure = {PageFailure::SiteSaid, ReadSiteFault(outcome.fault), QString()};
        else if (!result.capture.fault.isEmpty())
            result.failure = {PageFailure::Unusable, SiteFault(), result.capture.fault};
        done(result);
    });
}
