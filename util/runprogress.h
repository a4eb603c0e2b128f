#pragma once

#include <QList>
#include <QString>
#include <chrono>
#include <optional>

// How far a download run has come and how long the rest will take, from the pace at which
// pages were stored. The pace is the median of the last few gaps between stored pages, so one
// slow page (a retry, a slow server) does not swing the estimate; there is no estimate before
// two pages of this run are in.
class RunProgress
{
public:
    using Clock = std::chrono::steady_clock;

    // pagesToCapture: pages this book has in all; alreadyStored: pages in store before the run.
    explicit RunProgress(int pagesToCapture = 0, int alreadyStored = 0);

    // A page was stored at the given time (times in the order the pages came).
    void PageStored(Clock::time_point at);

    int PagesToCapture() const { return m_total; }
    int PagesStored() const { return m_stored; }
    // 0.0 .. 1.0; 1.0 for a book without pages.
    double Fraction() const;
    // Time per page from the recent pace; none before two pages of this run.
    std::optional<std::chrono::milliseconds> Pace() const;
    // Time the pages still missing take at that pace; none without a pace, zero when done.
    std::optional<std::chrono::milliseconds> TimeLeft() const;

    // Gaps the pace looks at.
    static constexpr int PaceWindow = 9;

private:
    int m_total;
    int m_stored;
    QList<Clock::time_point> m_times; // the last PaceWindow + 1 times
};

// "12 / 300 pages, about 31 min left"; without an estimate "12 / 300 pages".
QString RunProgressText(int stored, int total, std::optional<std::chrono::milliseconds> timeLeft);
QString RunProgressText(const RunProgress &progress);
