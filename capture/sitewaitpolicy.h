#pragma once

#include "sitefault.h"

#include <QList>
#include <QString>
#include <chrono>

// How long a run waits out a page whose image does not come: the waits after each failure in
// turn (the last one repeats), the time after the first failure at which the page is given up,
// and the longest Retry-After the site is obeyed for.
struct SitePatience
{
    QList<std::chrono::milliseconds> waits;
    std::chrono::milliseconds giveUpAfter{0};
    std::chrono::milliseconds longestRetryAfter{0};

    static SitePatience Default();
};

// Why one try of a page gave no page.
struct PageFailure
{
    enum Kind {
        NoPicture,    // nothing came and nobody said why (an image not loaded yet, a time-out)
        SiteSaid,     // the site's answer said why (fault)
        Unusable,     // an image came, but it cannot be the page (reason)
        ProcessEnded, // the browser's page process ended or stopped answering (reason: how)
    };
    Kind kind = NoPicture;
    SiteFault fault;
    QString reason;
};

// What a run does about a page that failed: try it again at the run's pace, wait for the site
// and load the viewer at the page again, or give the page up. Growing waits are for a site
// that says it is not there (5xx, 429, no connection) or does not answer in time; an answer
// that cannot change by waiting (another status, a damaged file, an image that is no page) and
// a page that ends the browser's page process are tried a few times and given up. It keeps
// what it needs of the page's failures so far (tries, waits, since when it fails, what the
// site said) and forgets them when the page is stored or given up. No clock of its own: the
// time is given.
class SiteWaitPolicy
{
public:
    using Clock = std::chrono::steady_clock;

    struct Decision
    {
        enum Kind {
            TryAgain, // capture the page on display once more on the next tick
            Reload,   // load the viewer at the page again at once, then capture it
            Wait,     // wait this long, then load the viewer at the page again
            GiveUp,   // give the page up
        };
        Kind kind = TryAgain;
        std::chrono::milliseconds wait{0};
        QString why;           // Wait: what the site said ("HTTP 503"), or "no picture"; GiveUp: the
                               // unusable image's fault, the site's answer, how the process ended
        GiveUpCause cause = GiveUpCause::Failed;

        bool operator==(const Decision &) const = default;
    };

    explicit SiteWaitPolicy(SitePatience patience = SitePatience::Default());

    // A try of the page failed at now. pageKnown: the run knows which page it is (a page it
    // cannot name is never waited for); secondPass: the page has had its waits already.
    Decision Failed(const PageFailure &failure, Clock::time_point now, bool pageKnown, bool secondPass);
    // The page was stored or given up: the next page starts afresh.
    void Reset();
    // The site has said why the page fails: the page script need not ask it again, the
    // viewer's own request is the only one a try makes.
    bool SiteSaidWhy() const { return m_siteSaidWhy; }

private:
    SitePatience m_patience;
    int m_tries = 0;              // failed tries in a row at the run's pace
    int m_waits = 0;              // waits for the site so far
    bool m_siteSaidWhy = false;
    QString m_why;
    std::optional<std::chrono::milliseconds> m_retryAfter;
    Clock::time_point m_failingSince;
};
