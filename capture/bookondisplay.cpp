#include "bookondisplay.h"

#include "apperror.h"
#include "bookidentity.h"
#include "bookpage.h"
#include "booktitle.h"
#include "makefolder.h"
#include "pagefile.h"
#include "ibrowser.h"
#include "pacing.h"
#include "pagescripts.h"
#include "scriptrunner.h"
#include "vbooks.h"
#include "viewerwatch.h"

#include <QTimer>
#include <utility>

TBookOnDisplay::TBookOnDisplay(IBrowser &browser, TePubobj &book, TScriptRunner &scripts, std::function<bool()> runOn,
                               QObject *parent)
    : QObject(parent), m_browser(browser), m_book(book), m_scripts(scripts), m_runOn(std::move(runOn))
{
    connect(&m_browser, &IBrowser::AddressChange, this, &TBookOnDisplay::addressChanged);
    connect(&m_browser, &IBrowser::LoadEnd, this, &TBookOnDisplay::loadEnded);
    connect(&m_browser, &IBrowser::PageProcessEnded, this, &TBookOnDisplay::pageProcessEnded);
}

void TBookOnDisplay::pageProcessEnded(const QString &how)
{
    if (m_runOn()) {
        emit PageProcessEnded(how); // the run ends what the page was doing
        return;
    }
    // Scripts queued in the page print nothing more; it shows nothing until it is loaded again.
    m_scripts.DocumentReplaced();
    emit Event(RunEvents::PageProcessEnded{how, false, 0, true});
    m_browser.LoadURL(m_browser.MainFrameUrl());
}

void TBookOnDisplay::addressChanged(int browserId, bool isMainFrame, const QString &url)
{
    // Between runs an address means nothing until its page has loaded.
    if (m_browser.IsOwnMainFrame(browserId, isMainFrame) && m_runOn())
        emit ViewerMoved(url, false);
}

void TBookOnDisplay::loadEnded(int browserId, bool isMainFrame, const QString &url)
{
    // Pop-up windows have browsers of their own; only the main browser counts.
    if (!m_browser.IsOwnMainFrame(browserId, isMainFrame))
        return;
    // Scripts queued in the document that was replaced print nothing more.
    m_scripts.DocumentReplaced();
    if (m_runOn())
        emit ViewerMoved(url, true);
    else
        pageLoaded(url);
}

void TBookOnDisplay::pageLoaded(const QString &url)
{
    const QString leftBook = std::exchange(m_leftBookLine, QString());
    const ViewerWatch::Answer answer = ViewerWatch().LoadEnded(url);
    switch (answer.verdict) {
    case ViewerWatch::Verdict::BookPage:
        emit Event(RunEvents::BookPageLoaded{leftBook});
        emit BookPageLoaded();
        // Identified once the event loop has come round: the address is the page's by then.
        QTimer::singleShot(0, this, &TBookOnDisplay::Identify);
        return;
    case ViewerWatch::Verdict::Refused:
        emit Event(RunEvents::BookRefused{answer.reason});
        emit OtherPageLoaded();
        return;
    case ViewerWatch::Verdict::OtherPage:
    case ViewerWatch::Verdict::Same:
    case ViewerWatch::Verdict::OtherBook:
    case ViewerWatch::Verdict::LeftBook:
        emit OtherPageLoaded();
        return;
    }
}

void TBookOnDisplay::Identify()
{
    if (m_runOn())
        return; // a run that started meanwhile has identified its book itself
    // The address now, not the one that finished loading; one the program cannot use leaves
    // the record with the last usable book.
    if (!UnusableBookIdReason(m_browser.MainFrameUrl()).isEmpty())
        return;
    m_book.getID(m_browser.MainFrameUrl());
    emit Event(RunEvents::BookIdentified{m_book.id});
    // The count of the book before is not this one's: unknown until the viewer tells it,
    // and Rebuild waits for it.
    m_totalPages = 0;
    m_record = ViewerBook();
    m_recordBook = m_book.id;
    emit RebuildAvailable(false);
    const QString id = m_book.id;
    m_scripts.ExecScript(TotalPageScript(), Pacing::ShortScriptTimeoutMs, [this, id](const ScriptOutcome &) {
        if (m_runOn() || m_book.id != id)
            return;
        emit BookIdentified(id, m_totalPages);
        if (m_totalPages > 0)
            emit RebuildAvailable(HasStoredPages(m_book));
    });
}

void TBookOnDisplay::RecordRead(const QString &record)
{
    m_record = ReadViewerBook(record);
    const qint64 count = m_record.totalPages;
    emit Event(RunEvents::PageCountRead{count});
    // "undefined" from a viewer without a count, garbage, or more than a book has: this
    // book's count is not known, and the count of the book before is not its own.
    m_totalPages = count < 0 || count > MaxBookPages ? 0 : int(count);
}

TBookOnDisplay::RunStart TBookOnDisplay::TakeForRun(const PageRange &range)
{
    const QString url = m_browser.MainFrameUrl();
    if (const QString refusal = UnusableBookIdReason(url); !refusal.isEmpty())
        throw AppError(refusal);
    RunStart start;
    start.onDisplay = BookPageFromUrl(url);
    QString rangeError;
    const std::optional<PageSpan> span = ResolvePageRange(range, start.onDisplay, m_totalPages, &rangeError);
    if (!span)
        throw AppError(rangeError);
    start.span = *span;
    MakeFolder(PageFolderPath(BookFolderName(BookIdFromUrl(url))));
    m_book.getID(url);
    m_leftBookLine.clear();
    // The title the viewer gave the book goes into its PDF, also when rebuilt later.
    BookInfo info = SameBook(m_recordBook, m_book.id) ? m_record.info : BookInfo();
    info.title = BookTitleFromPageTitle(info.title.isEmpty() ? m_browser.Title() : info.title, m_book.id);
    info.address = url;
    if (!SaveBookInfo(m_book.PageFolder(), info))
        start.unsavedRecord = BookInfoPath(m_book.PageFolder());
    return start;
}
