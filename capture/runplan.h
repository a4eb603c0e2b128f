#pragma once

#include "pagerange.h"

#include <QList>
#include <functional>

// Which page a download run goes to next. It knows the run's pages (its span of the book),
// which of them are stored, the page the run last stored and the pages it gave up, and says
// after each thing that happens what comes next: capture the page on display, turn to the
// next page, load the viewer at a page, or build. It never touches the browser, a timer or a
// file of its own: whether a page is stored is asked of the function it is given.
//
// A run captures the pages of its span that are not stored yet, in order; the next page is
// reached by turning when it is the next one and through its address when pages in between
// are stored. Pages given up are tried once more, in the order they were given up, before
// the build.
class RunPlan
{
public:
    using IsStored = std::function<bool(int page)>;

    struct Step
    {
        enum Kind {
            Capture, // capture the page on display
            Turn,    // turn to the next page and capture it
            GoTo,    // load the viewer at page and capture it
            Build,   // every page has had its turn: build the PDF
        };
        Kind kind = Capture;
        int page = 0; // GoTo: the page; Turn: the page expected next (0: not known)
        bool beginsSecondPass = false; // the pages given up are tried once more from here

        bool operator==(const Step &) const = default;
    };

    // What the start found: the pages of the span stored already (the first of them and the
    // last before the page the run goes on at; 0 when none are left out), and how many pages
    // the run has to capture.
    struct Opening
    {
        Step step;
        int storedFrom = 0;
        int storedTo = 0;
        int pagesToCapture = 0;
        int alreadyStored = 0;
    };

    // span.last 0: the book's end is not known. rangeAsked: the run was given a first page, so
    // it goes on at the first one not stored even when the viewer's address names no page.
    RunPlan(const PageSpan &span, bool rangeAsked, IsStored isStored);
    RunPlan() = default;

    // The run starts with page onDisplay on display (0: the address names none).
    Opening Start(int onDisplay);
    // Page was stored.
    Step PageStored(int page);
    // The page the run was at could not be captured (page 0: not known which page it was).
    Step PageGivenUp(int page);
    // The run has come to the end of its pages: its last page is stored, or the viewer no
    // longer moves on when the page is turned.
    Step EndOfPages();
    // The run waits for page (known from the viewer's address) and loads the viewer at it.
    void Expect(int page) { m_target = page; }

    // The page the run waits for or captures now: the page it asked for, else the one after
    // the last stored, else 0 (the page on display before any was stored).
    int CurrentPage() const;
    // The last page of the run; 0 when not known.
    int LastPage() const { return m_span.last; }
    const PageSpan &Span() const { return m_span; }
    // Whether a page was stored in this run, and the last one stored.
    bool StoredAny() const { return m_lastStored > 0; }
    int LastStored() const { return m_lastStored; }
    bool SecondPass() const { return m_secondPass; }
    // The pages given up the first time round, once the second pass begins (for the log).
    const QList<int> &SecondPassPages() const { return m_secondPassAll; }
    // The pages given up still missing after the second pass, once the build is next.
    const QList<int> &StillMissing() const { return m_givenUp; }
    // Whether the run has stored its last page, so it is at its end whatever the viewer does.
    bool AtEnd() const;

private:
    int firstMissing(int from) const;
    Step next(int after);
    Step endOfPages();

    PageSpan m_span;
    bool m_rangeAsked = false;
    IsStored m_isStored;
    int m_target = 0;        // the page asked of the viewer; 0: the one on display
    int m_lastStored = 0;    // the last page stored in this run
    QList<int> m_givenUp;
    bool m_secondPass = false;
    QList<int> m_secondPassLeft;
    QList<int> m_secondPassAll;
};
