#include "sitewaitpolicy.h"

#include "pacing.h"

#include <algorithm>

using namespace std::chrono;

SitePatience SitePatience::Default()
{
    return {Pacing::SiteWaits, Pacing::GiveUpAfter, Pacing::LongestRetryAfter};
}

SiteWaitPolicy::SiteWaitPolicy(SitePatience patience) : m_patience(std::move(patience)) {}

void SiteWaitPolicy::Reset()
{
    m_tries = 0;
    m_waits = 0;
    m_siteSaidWhy = false;
    m_why.clear();
    m_retryAfter.reset();
}

SiteWaitPolicy::Decision SiteWaitPolicy::Failed(const PageFailure &failure, Clock::time_point now, bool pageKnown,
                                                bool secondPass)
{
    // An image that did not come in time may come on the next tick; one that the site said
    // why of will not.
    if (failure.kind != PageFailure::SiteSaid && ++m_tries < Pacing::MaxCaptureAttempts)
        return {};
    m_tries = 0;
    if (failure.kind == PageFailure::Unusable) {
        // Waiting would not change it; the second pass tries it once more.
        Decision giveUp;
        giveUp.kind = Decision::GiveUp;
        giveUp.unusable = failure.reason;
        Reset();
        return giveUp;
    }
    if (m_waits == 0)
        m_failingSince = now;
    if (failure.kind == PageFailure::SiteSaid) {
        m_siteSaidWhy = true;
        m_why = failure.fault.text;
        m_retryAfter = failure.fault.retryAfter;
    }
    if (secondPass || !pageKnown || m_patience.waits.isEmpty() || now - m_failingSince >= m_patience.giveUpAfter) {
        Reset();
        Decision giveUp;
        giveUp.kind = Decision::GiveUp;
        return giveUp;
    }
    // The next of the growing waits, and never less than the site asked for (up to a limit).
    milliseconds wait = m_patience.waits.at(std::min(m_waits, int(m_patience.waits.size()) - 1));
    if (m_retryAfter)
        wait = std::max(wait, std::min(*m_retryAfter, m_patience.longestRetryAfter));
    ++m_waits;
    Decision decision;
    decision.kind = Decision::Wait;
    decision.wait = wait;
    decision.why = m_why.isEmpty() ? QStringLiteral("no picture") : m_why;
    return decision;
}
