#pragma once

#include <QString>

// What the viewer does, as the program sees it between runs and during one: between runs a
// finished load offers a book or not; during a run the viewer must stay on the run's book,
// except while the PDF is built, which needs no viewer, and must move on when the page is
// turned. It decides only; the download controller acts on its answers.
class ViewerWatch
{
public:
    enum class Verdict {
        Same,      // nothing changes
        BookPage,  // between runs: a book the program can store is on display (bookId)
        Refused,   // between runs: a viewer page whose id gives no folder (reason)
        OtherPage, // between runs: no book's viewer
        OtherBook, // during a run: the viewer shows another book (bookId): the run ends
        LeftBook,  // during a run: the viewer left the book (a sign-in page): the run ends
    };
    struct Answer
    {
        Verdict verdict = Verdict::Same;
        QString bookId;
        QString reason; // Refused, OtherBook, LeftBook: the line that says why

        bool operator==(const Answer &) const = default;
    };

    // A run of book bookId started; it builds its PDF; it ended.
    void RunStarted(const QString &bookId);
    void Building() { m_building = true; }
    void RunEnded();

    // The viewer moved: its address changed or a new document loaded. Sent to a page by its
    // address, it moves for sure.
    void Moved() { m_movedSinceTurn = true; }
    void SentToPage();
    // The page is to be turned, lastStored the last page stored (0: none yet): whether the
    // viewer has stopped moving on (the end of a book without a count, a button that does
    // nothing), so many turns in a row that it did not move after.
    bool TurnIsStuck(int lastStored);

    // The viewer's main frame is at url: during a run, whether the run may go on.
    Answer AddressChanged(const QString &url) const;
    // The main frame finished loading url: during a run as an address change, between runs
    // what the page is.
    Answer LoadEnded(const QString &url) const;

private:
    QString m_runBook; // the run's book; empty between runs
    bool m_building = false;
    int m_stuckTurns = 0;        // page turns in a row after which the viewer did not move
    bool m_movedSinceTurn = true;
    int m_pageAtTurn = 0;        // the last page stored when the page was last turned
};
