#include "viewerwatch.h"

#include "apperror.h"
#include "bookidentity.h"
#include "pacing.h"

namespace {
ViewerWatch::Answer answer(ViewerWatch::Verdict verdict, const QString &bookId = {}, const QString &reason = {})
{
    ViewerWatch::Answer a;
    a.verdict = verdict;
    a.bookId = bookId;
    a.reason = reason;
    return a;
}
} // namespace

void ViewerWatch::RunStarted(const QString &bookId)
{
    *this = ViewerWatch();
    m_runBook = bookId;
}

void ViewerWatch::SentToPage()
{
    m_movedSinceTurn = true;
    m_stuckTurns = 0;
}

bool ViewerWatch::TurnIsStuck(int lastStored)
{
    const bool moved = m_movedSinceTurn || (lastStored > 0 && lastStored > m_pageAtTurn);
    m_stuckTurns = moved ? 0 : m_stuckTurns + 1;
    if (m_stuckTurns >= Pacing::MaxStuckTurns)
        return true;
    m_pageAtTurn = lastStored;
    m_movedSinceTurn = false;
    return false;
}

void ViewerWatch::RunEnded()
{
    m_runBook.clear();
    m_building = false;
}

ViewerWatch::Answer ViewerWatch::AddressChanged(const QString &url) const
{
    // Between runs an address means nothing until its page has loaded; once every page is in,
    // the build goes on whatever the viewer shows.
    if (m_runBook.isEmpty() || m_building)
        return {};
    QString id;
    if (IsBookViewerUrl(url)) {
        try {
            id = BookIdFromUrl(url);
        } catch (const AppError &) {
        }
    }
    // The run keeps the id it started with (and with it its folder and PDF name); the
    // viewer's address may drop the fragment the book was opened with.
    if (!id.isEmpty() && SameBook(id, m_runBook))
        return {};
    if (id.isEmpty())
        return answer(Verdict::LeftBook, QString(), QStringLiteral("The viewer left the book: download stopped"));
    return answer(Verdict::OtherBook, id, QStringLiteral("The viewer shows another book (%1): download stopped").arg(id));
}

ViewerWatch::Answer ViewerWatch::LoadEnded(const QString &url) const
{
    if (!m_runBook.isEmpty())
        return AddressChanged(url);
    if (!IsBookViewerUrl(url))
        return answer(Verdict::OtherPage);
    if (const QString refusal = UnusableBookIdReason(url); !refusal.isEmpty())
        return answer(Verdict::Refused, QString(), refusal); // no Download for a book that has no folder
    return answer(Verdict::BookPage, BookIdFromUrl(url));
}
