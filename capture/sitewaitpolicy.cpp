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

namespace {
SiteWaitPolicy::Decision giveUp(GiveUpCause cause, const QString &why = {})
{
    SiteWaitPolicy::Decision decision;
    decision.kind = SiteWaitPolicy::Decision::GiveUp;
    decision.cause = cause;
    decision.why = why;
    return decision;
}
} // namespace

SiteWaitPolicy::Decision SiteWaitPolicy::Failed(const PageFailure &failure, Clock::time_point now, bool pageKnown,
                                                bool secondPass)
{
    using Decision = SiteWaitPolicy::Decision;
    const bool siteDown = failure.kind == PageFailure::SiteSaid && failure.fault.kind == SiteFault::Down;
    // A site that says it is not there is waited for at once. Anything else may do on the
    // next try at the run's pace: an image that did not come in time, a page process that
    // ended, even a file that came damaged.
    if (!siteDown) {
        if (++m_tries < Pacing::MaxCaptureAttempts) {
            Decision again;
            again.kind = failure.kind == PageFailure::ProcessEnded ? Decision::Reload : Decision::TryAgain;
            return again;
        }
        m_tries = 0;
        // Waiting would not change these; the second pass tries them once more.
        std::optional<Decision> given;
        if (failure.kind == PageFailure::Unusable)
            given = giveUp(GiveUpCause::Unusable, failure.reason);
        else if (failure.kind == PageFailure::ProcessEnded)
            given = giveUp(GiveUpCause::ProcessEnded, failure.reason);
        else if (failure.kind == PageFailure::SiteSaid && failure.fault.kind == SiteFault::Damaged)
            given = giveUp(GiveUpCause::Damaged);
        else if (failure.kind == PageFailure::SiteSaid)
            given = giveUp(GiveUpCause::Refused, failure.fault.text);
        if (given) {
            Reset();
            return *given;
        }
    }
    m_tries = 0;
    if (m_waits == 0)
        m_failingSince = now;
    if (siteDown) {
        m_siteSaidWhy = true;
        m_why = failure.fault.text;
        m_retryAfter = failure.fault.retryAfter;
    }
    if (secondPass || !pageKnown || m_patience.waits.isEmpty() || now - m_failingSince >= m_patience.giveUpAfter) {
        Reset();
        return giveUp(GiveUpCause::Failed);
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
