#include "runlogwriter.h"

#include "activitylog.h"
#include "bookidentity.h"
#include "pdfassembly.h"
#include "runtexts.h"
#include "sitefault.h"

namespace {
// The line a run's progress rewrites until a page is stored.
const QString WorkingLine = QStringLiteral("downloading ....");
const QString BuildLine = QStringLiteral("Build pdf file, wait....");

QString pageLine(int page, int totalPages)
{
    return QString::asprintf("Save page %d / %d ...", page, totalPages);
}
} // namespace

struct RunLogWriter::Visitor
{
    RunLogWriter &w;
    ActivityLogSink &log = w.m_log;

    void progress(const RunProgress &p, const QString &text) const
    {
        emit w.Progress(p.PagesStored(), qMax(1, p.PagesToCapture()), text);
    }

    void operator()(const RunEvents::Started &) const { log.clearLines(WorkingLine); }
    void operator()(const RunEvents::BookRecordUnsaved &e) const
    {
        // Above the run's first line, which its progress rewrites.
        log.setLastLine(BookRecordUnsavedText(e));
        log.addLine(WorkingLine);
    }
    void operator()(const RunEvents::StoredAlready &e) const
    {
        log.addLine(StoredAlreadyText(e));
        log.addLine(WorkingLine);
    }
    void operator()(const RunEvents::Progressed &e) const { progress(e.progress, RunProgressText(e.progress)); }
    void operator()(const RunEvents::PageStored &e) const
    {
        // Once per run for each way pages came, above the progress line.
        if (!e.newWayLine.isEmpty()) {
            log.setLastLine(e.newWayLine);
            log.addLine(pageLine(e.page, e.totalPages));
        } else {
            log.setLastLine(pageLine(e.page, e.totalPages));
        }
        if (e.counted)
            progress(e.progress, RunProgressText(e.progress));
    }
    void operator()(const RunEvents::PageUnusable &e) const { log.addLine(PageUnusableText(e)); }
    void operator()(const RunEvents::WaitingForSite &e) const
    {
        log.addLine(WaitingForSiteText(e));
        log.addLine(QStringLiteral("Waiting for the site ..."));
    }
    void operator()(const RunEvents::WaitCountdown &e) const
    {
        const QString text = QStringLiteral("Waiting for the site: page %1 again in %2").arg(e.page).arg(WaitText(e.left));
        log.setLastLine(text);
        progress(e.progress, text);
    }
    void operator()(const RunEvents::PageGivenUp &e) const
    {
        log.addLine(PageGivenUpText(e));
        // A line of its own for the progress that follows, so the one above stays.
        log.addLine(pageLine(e.lastStored, e.totalPages));
    }
    void operator()(const RunEvents::PageProcessEnded &e) const
    {
        log.addLine(PageProcessEndedText(e));
        log.addLine(WorkingLine); // the line the page's loading rewrites
    }
    void operator()(const RunEvents::LoadingPage &e) const
    {
        log.setLastLine(QString::asprintf("Loading page %d / %d ...", e.page, e.totalPages));
    }
    void operator()(const RunEvents::ViewerStuck &) const { log.addLine(ViewerStuckText()); }
    void operator()(const RunEvents::SecondPass &e) const
    {
        log.addLine(SecondPassText(e));
        log.addLine(WorkingLine);
    }
    void operator()(const RunEvents::StillMissing &e) const { log.addLine(StillMissingText(e)); }
    void operator()(const RunEvents::Ended &e) const
    {
        log.addLine(QStringLiteral("download end."));
        switch (e.outcome.kind) {
        case RunOutcome::Stopped:
            log.addLine(QStringLiteral("user abort"));
            break;
        case RunOutcome::LeftBook:
            log.addLine(e.outcome.reason);
            if (e.viewerLeft)
                log.addLine(LeftBookHint());
            break;
        case RunOutcome::Complete:
        case RunOutcome::PagesMissing:
        case RunOutcome::NoPages:
        case RunOutcome::Failed:
            break;
        }
    }
    void operator()(const RunEvents::BuildStarted &) const { log.addLine(BuildLine); }
    void operator()(const RunEvents::BuildProgress &e) const
    {
        log.setLastLine(QString::asprintf("pdf page %d", e.page));
        emit w.Progress(e.page, e.totalPages, QStringLiteral("pdf page %1 / %2").arg(e.page).arg(e.totalPages));
    }
    void operator()(const RunEvents::BuildRefused &e) const
    {
        log.addLine(BuildRefusedText());
        // The running build rewrites the last line with its progress: give it its own.
        log.addLine(e.page > 0 ? QString::asprintf("pdf page %d", e.page) : BuildLine);
    }
    void operator()(const RunEvents::BuildEnded &e) const
    {
        const BookBuildOutcome &outcome = e.outcome;
        const QString told = BuildEndedText(e);
        switch (outcome.kind) {
        case BookBuildOutcome::Written:
            if (!outcome.result.missing.isEmpty())
                log.addLine(QStringLiteral("missing pages ") + MissingPagesText(outcome.result));
            for (const QString &note : outcome.result.notes)
                log.addLine(note);
            if (!told.isEmpty())
                log.addLine(told);
            log.addLine(QStringLiteral("save pdf file ") + outcome.path);
            emit w.Notice(QStringLiteral("PDF saved"), outcome.result.missing.isEmpty() || !e.ofRun
                                                           ? outcome.path
                                                           : outcome.path + QStringLiteral("\nmissing pages") + outcome.result.missing);
            return;
        case BookBuildOutcome::NoPages:
            log.addLine(told);
            if (e.ofRun)
                emit w.Notice(QStringLiteral("Download ended"), QStringLiteral("No page of the book is stored: no pdf file written"));
            return;
        case BookBuildOutcome::Failed:
            emit w.Notice(QStringLiteral("The pdf file could not be built"), outcome.error);
            return;
        case BookBuildOutcome::Cancelled:
            return;
        }
    }
    void operator()(const RunEvents::Idle &) const { emit w.ProgressEnded(); }
    void operator()(const RunEvents::BookPageLoaded &e) const
    {
        log.clearLines(QString());
        // The page that ended the last run is often the next book: say why it ended still.
        if (!e.leftBookLine.isEmpty())
            log.addLine(e.leftBookLine);
        log.addLine(QStringLiteral("Ready to download"));
    }
    void operator()(const RunEvents::BookRefused &e) const
    {
        log.clearLines(QString());
        log.addLine(e.reason);
    }
    void operator()(const RunEvents::BookIdentified &e) const { log.addLine(e.bookId); }
    void operator()(const RunEvents::PageCountRead &e) const
    {
        if (e.count > MaxBookPages)
            log.addLine(QStringLiteral("Total pages %1 is more than a book has: not taken").arg(e.count));
        else if (e.count >= 0)
            log.addLine(QString::asprintf("Total pages %d", int(e.count)));
    }
    void operator()(const RunEvents::ViewerLine &e) const { log.addLine(e.text); }
};

RunLogWriter::RunLogWriter(ActivityLogSink &log, QObject *parent) : QObject(parent), m_log(log) {}

void RunLogWriter::Write(const RunEvent &event)
{
    std::visit(Visitor{*this}, event);
}
