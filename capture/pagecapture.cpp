#include "pagecapture.h"

#include "apperror.h"
#include "ibrowser.h"
#include "pagereport.h"
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
    Request request{&book, book.dirid, lastPage, timeoutMs, std::move(stillWanted), std::move(done)};
    m_scripts.ExecScript(m_pageScript, timeoutMs, [this, request = std::move(request)](const ScriptOutcome &outcome) {
        CaptureResult result;
        if (!outcome.fault.isEmpty()) {
            result.failure = {PageFailure::SiteSaid, ReadSiteFault(outcome.fault), QString()};
        } else if (outcome.timedOut) {
            // No word from the page in all that time: its process does not answer.
            result.failure = {PageFailure::ProcessEnded, SiteFault(), HungProcess};
        } else if (outcome.report.size() >= MinReportLength) {
            PageReport report;
            try {
                report = ReadPageReport(outcome.report);
            } catch (const AppError &e) {
                result.capture.fault = e.message();
                result.failure = {PageFailure::Unusable, SiteFault(), e.message()};
                request.done(result);
                return;
            }
            if (report.bytes.isEmpty() && report.source == QLatin1String("browser") && !report.src.isEmpty()) {
                fetch(request, std::move(report));
                return;
            }
            store(request, report, result);
        }
        request.done(result);
    });
}

void PageCapture::fetch(const Request &request, PageReport report)
{
    // An image the page's scripts may not read: the browser downloads it, as the page would.
    const QString src = report.src;
    m_browser.FetchFile(src, request.timeoutMs, [this, request, report = std::move(report)](const QByteArray &bytes,
                                                                                            const QString &error) mutable {
        CaptureResult result;
        if (!error.isEmpty()) {
            SiteFault fault;
            fault.kind = SiteFault::Down;
            fault.text = error.left(200);
            result.failure = {PageFailure::SiteSaid, fault, QString()};
        } else {
            report.bytes = bytes;
            store(request, report, result);
        }
        request.done(result);
    });
}

void PageCapture::store(const Request &request, const PageReport &report, CaptureResult &result)
{
    // Nothing of another book is stored: not after the run left its book, not when the record
    // has been given another book meanwhile. A report whose image is none the build can read
    // (an image that has not loaded gives an empty canvas) is a failed capture: the page file
    // there stays.
    TvBookobj &book = *request.book;
    if (book.dirid != request.dirid || (request.stillWanted && !request.stillWanted()))
        return;
    try {
        result.capture = StoreCapturedPage(book, report, request.lastPage);
        result.stored = result.capture.stored;
        result.page = result.capture.page;
    } catch (const AppError &e) {
        result.error = e.message();
    }
    if (!result.stored && !result.capture.fault.isEmpty())
        result.failure = {PageFailure::Unusable, SiteFault(), result.capture.fault};
}
