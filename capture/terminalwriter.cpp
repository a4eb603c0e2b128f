#include "terminalwriter.h"

#include "runtexts.h"

struct TerminalWriter::Visitor
{
    const TerminalWriter &w;

    void operator()(const RunEvents::Started &) const {}
    void operator()(const RunEvents::BookRecordUnsaved &e) const { w.line(BookRecordUnsavedText(e)); }
    void operator()(const RunEvents::StoredAlready &e) const { w.line(StoredAlreadyText(e)); }
    void operator()(const RunEvents::Progressed &) const {}
    void operator()(const RunEvents::PageStored &e) const
    {
        if (!e.counted)
            return;
        w.line(QStringLiteral("%1: page %2 of %3 (%4)")
                   .arg(w.m_book)
                   .arg(e.page)
                   .arg(e.totalPages > 0 ? QString::number(e.totalPages) : QStringLiteral("?"), RunProgressText(e.progress)));
    }
    void operator()(const RunEvents::PageUnusable &e) const { w.line(PageUnusableText(e)); }
    void operator()(const RunEvents::WaitingForSite &e) const { w.line(WaitingForSiteText(e)); }
    void operator()(const RunEvents::WaitCountdown &) const {}
    void operator()(const RunEvents::PageGivenUp &e) const { w.line(PageGivenUpText(e)); }
    void operator()(const RunEvents::PageProcessEnded &e) const { w.line(PageProcessEndedText(e)); }
    void operator()(const RunEvents::LoadingPage &) const {}
    void operator()(const RunEvents::ViewerStuck &) const { w.line(ViewerStuckText()); }
    void operator()(const RunEvents::SecondPass &e) const { w.line(SecondPassText(e)); }
    void operator()(const RunEvents::StillMissing &e) const { w.line(StillMissingText(e)); }
    void operator()(const RunEvents::Ended &) const {} // the book's own line says how it ended, and how to go on
    void operator()(const RunEvents::BuildStarted &) const {}
    void operator()(const RunEvents::BuildProgress &) const {}
    void operator()(const RunEvents::BuildRefused &) const { w.line(BuildRefusedText()); }
    void operator()(const RunEvents::BuildEnded &e) const
    {
        for (const QString &note : e.outcome.result.notes)
            w.line(note);
        if (const QString text = BuildEndedText(e); !text.isEmpty())
            w.line(text);
    }
    void operator()(const RunEvents::Idle &) const {}
    void operator()(const RunEvents::BookPageLoaded &) const {}
    void operator()(const RunEvents::BookRefused &e) const { w.line(e.reason); }
    void operator()(const RunEvents::BookIdentified &) const {}
    void operator()(const RunEvents::PageCountRead &) const {}
    void operator()(const RunEvents::ViewerLine &e) const { w.line(e.text); }
};

TerminalWriter::TerminalWriter(Print errors, Print output) : m_errors(std::move(errors)), m_output(std::move(output)) {}

void TerminalWriter::Write(const RunEvent &event)
{
    std::visit(Visitor{*this}, event);
}

QString TerminalBookName(const QueueEntry &entry)
{
    return entry.bookId.isEmpty() ? entry.url : entry.bookId;
}

void TerminalWriter::BookOpening(const QueueEntry &entry)
{
    m_book = TerminalBookName(entry);
    line(QStringLiteral("%1: opening %2").arg(m_book, entry.url));
}

void TerminalWriter::BookNotOpened(const QueueEntry &entry, const QString &why)
{
    line(QStringLiteral("%1: not downloaded: %2").arg(TerminalBookName(entry), why));
}

void TerminalWriter::BookEnded(const QueueEntry &entry, const RunOutcome &outcome)
{
    const QString book = TerminalBookName(entry);
    switch (outcome.kind) {
    case RunOutcome::Complete:
        m_output(outcome.pdfPath);
        line(QStringLiteral("%1: done: %2").arg(book, outcome.pdfPath));
        return;
    case RunOutcome::PagesMissing:
        m_output(outcome.pdfPath);
        line(QStringLiteral("%1: pages missing:%2 (in %3)").arg(book, outcome.missingText, outcome.pdfPath));
        return;
    case RunOutcome::NoPages:
        line(QStringLiteral("%1: no page could be captured: no PDF written").arg(book));
        return;
    case RunOutcome::LeftBook:
        line(QStringLiteral("%1: %2; run it again to go on at the first page not stored").arg(book, outcome.reason));
        return;
    case RunOutcome::Stopped:
        line(QStringLiteral("%1: stopped: no PDF written").arg(book));
        return;
    case RunOutcome::Failed:
        line(QStringLiteral("%1: %2").arg(book, outcome.reason));
        return;
    }
}
