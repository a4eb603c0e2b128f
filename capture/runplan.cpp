#include "runplan.h"

#include "bookidentity.h"

#include <utility>

RunPlan::RunPlan(const PageSpan &span, bool rangeAsked, IsStored isStored)
    : m_span(span), m_rangeAsked(rangeAsked), m_isStored(std::move(isStored))
{
}

int RunPlan::firstMissing(int from) const
{
    // Without a known end the pages run up to the largest book the program takes.
    const int last = m_span.last > 0 ? m_span.last : MaxBookPages;
    for (int page = qMax(1, from); page <= last; ++page) {
        if (!m_isStored(page))
            return page;
    }
    return 0;
}

RunPlan::Opening RunPlan::Start(int onDisplay)
{
    Opening opening;
    // Without a range and without a page number in the address, the run begins with the page
    // on display, whichever it is.
    if (!m_rangeAsked && onDisplay == 0) {
        opening.pagesToCapture = m_span.last;
        return opening;
    }
    int first = 0;
    if (m_span.last > 0) {
        for (int page = m_span.first; page <= m_span.last; ++page) {
            if (m_isStored(page))
                ++opening.alreadyStored;
            else if (first == 0)
                first = page;
        }
        opening.pagesToCapture = m_span.last - m_span.first + 1;
    } else {
        first = firstMissing(m_span.first);
    }
    if (first == 0) {
        opening.storedFrom = m_span.first;
        opening.storedTo = m_span.last > 0 ? m_span.last : MaxBookPages;
        opening.step = endOfPages();
        return opening;
    }
    if (first > m_span.first) {
        opening.storedFrom = m_span.first;
        opening.storedTo = first - 1;
    }
    if (first == onDisplay)
        return opening; // the page on display: captured as it is, as when no page was asked for
    m_target = first;
    opening.step = {Step::GoTo, first};
    return opening;
}

RunPlan::Step RunPlan::PageStored(int page)
{
    m_lastStored = page;
    // With the book's end not known, the run ends with its first page.
    if (m_secondPass || m_span.last <= 0 || page >= m_span.last)
        return endOfPages();
    return next(page);
}

RunPlan::Step RunPlan::PageGivenUp(int page)
{
    if (page > 0 && !m_givenUp.contains(page))
        m_givenUp.append(page);
    if (m_secondPass)
        return endOfPages();
    if (page <= 0) {
        m_target = 0;
        return {Step::Turn, 0};
    }
    if (m_span.last > 0 && page >= m_span.last)
        return endOfPages();
    return next(page);
}

RunPlan::Step RunPlan::EndOfPages()
{
    return endOfPages();
}

RunPlan::Step RunPlan::next(int after)
{
    const int page = firstMissing(after + 1);
    if (page == 0)
        return endOfPages();
    m_target = page;
    return {page == after + 1 ? Step::Turn : Step::GoTo, page};
}

RunPlan::Step RunPlan::endOfPages()
{
    Step step{Step::Build, 0};
    if (!m_secondPass && !m_givenUp.isEmpty()) {
        // The pages given up are tried once more, now that the site had time.
        m_secondPass = true;
        m_secondPassAll = std::exchange(m_givenUp, {});
        m_secondPassLeft = m_secondPassAll;
        step.beginsSecondPass = true;
    }
    if (m_secondPass && !m_secondPassLeft.isEmpty()) {
        m_target = m_secondPassLeft.takeFirst();
        step.kind = Step::GoTo;
        step.page = m_target;
    }
    return step;
}

int RunPlan::CurrentPage() const
{
    if (m_target > 0)
        return m_target;
    return m_lastStored > 0 ? m_lastStored + 1 : 0;
}

bool RunPlan::AtEnd() const
{
    return m_lastStored > 0 && m_span.last > 0 && m_lastStored >= m_span.last && m_target <= m_lastStored;
}
