#pragma once

#include "bookinfo.h"
#include "pagerange.h"
#include "runevents.h"

#include <QObject>
#include <QString>
#include <functional>

class IBrowser;
class TePubobj;
class TScriptRunner;

// The book the viewer shows: it follows the viewer's main frame. Between runs a load that ends
// offers a book or not, the book is identified from its address and the viewer is asked what
// it knows of it (its page count, its title), and Rebuild is offered once its count is known
// and its first page is stored. During a run it tells the run each move of the viewer. The
// download controller reads the count and the record when a run starts.
class TBookOnDisplay : public QObject
{
    Q_OBJECT
public:
    // runOn: whether a run is on or the program closing; the viewer's answers are then not
    // the book on display's to tell.
    TBookOnDisplay(IBrowser &browser, TePubobj &book, TScriptRunner &scripts, std::function<bool()> runOn,
                   QObject *parent = nullptr);

    // Identifies the book on display and asks the viewer about it.
    void Identify();
    // The viewer told what it knows of the book: a JSON record.
    void RecordRead(const QString &record);
    // A run ended because the viewer left its book (line: why); the next book page shown
    // says so again above "Ready to download". A run that starts forgets it.
    void RunLeftBook(const QString &line) { m_leftBookLine = line; }

    // A run of range starts on the book on display: the pages it takes, the page on display (0:
    // the address names none), and the path of the book's record when it could not be kept.
    struct RunStart
    {
        PageSpan span;
        int onDisplay = 0;
        QString unsavedRecord;
    };
    // Settles the book for a run: an address whose id the program cannot use, a range the book
    // does not have or a folder that cannot be made throws AppError, and the book record keeps
    // the last usable book. Else the record takes the book, and what is known of it is kept
    // beside its pages for a later Rebuild.
    RunStart TakeForRun(const PageRange &range);

    // The page count of the book on display; 0 when not known.
    int TotalPages() const { return m_totalPages; }

signals:
    // During a run: the viewer's main frame moved to url, loading a new document or not; the
    // browser's page process ended (how: "crashed", ...).
    void ViewerMoved(const QString &url, bool newDocument);
    void PageProcessEnded(const QString &how);
    void Event(const RunEvent &event);
    void BookPageLoaded();
    void OtherPageLoaded();
    void BookIdentified(const QString &bookId, int totalPages);
    void RebuildAvailable(bool available);

private:
    void addressChanged(int browserId, bool isMainFrame, const QString &url);
    void loadEnded(int browserId, bool isMainFrame, const QString &url);
    void pageProcessEnded(const QString &how);
    void pageLoaded(const QString &url);

    IBrowser &m_browser;
    TePubobj &m_book;
    TScriptRunner &m_scripts;
    std::function<bool()> m_runOn;
    int m_totalPages = 0;
    ViewerBook m_record;     // what the viewer told of the book
    QString m_recordBook;    // the book that is of
    QString m_leftBookLine;  // why the last run stopped, kept over the next book's log
};
