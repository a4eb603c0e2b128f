#include "runprogress.h"

#include <algorithm>

using std::chrono::milliseconds;

RunProgress::RunProgress(int pagesToCapture, int alreadyStored)
    : m_total(qMax(0, pagesToCapture)), m_stored(qBound(0, alreadyStored, m_total))
{
}

void RunProgress::PageStored(Clock::time_point at)
{
    m_stored = qMin(m_stored + 1, m_total);
    m_times.append(at);
    if (m_times.size() > PaceWindow + 1)
        m_times.removeFirst();
}

double RunProgress::Fraction() const
{
    return m_total == 0 ? 1.0 : double(m_stored) / m_total;
}

std::optional<milliseconds> RunProgress::Pace() const
{
    if (m_times.size() < 2)
        return std::nullopt;
    QList<milliseconds> gaps;
    for (qsizetype i = 1; i < m_times.size(); ++i)
        gaps.append(std::max(milliseconds(0), std::chrono::duration_cast<milliseconds>(m_times[i] - m_times[i - 1])));
    std::sort(gaps.begin(), gaps.end());
    const qsizetype mid = gaps.size() / 2;
    return gaps.size() % 2 ? gaps[mid] : (gaps[mid - 1] + gaps[mid]) / 2;
}

std::optional<milliseconds> RunProgress::TimeLeft() const
{
    if (m_stored >= m_total)
        return milliseconds(0);
    const auto pace = Pace();
    if (!pace)
        return std::nullopt;
    return *pace * (m_total - m_stored);
}

QString RunProgressText(int stored, int total, std::optional<milliseconds> timeLeft)
{
    QString text = QStringLiteral("%1 / %2 pages").arg(stored).arg(total);
    if (!timeLeft || stored >= total)
        return text;
    // Rounded to whole minutes: a finer figure would only flicker with each page.
    const qint64 minutes = (timeLeft->count() + 30000) / 60000;
    if (minutes < 1)
        return text + QStringLiteral(", less than a minute left");
    if (minutes < 60)
        return text + QStringLiteral(", about %1 min left").arg(minutes);
    const qint64 hours = minutes / 60;
    const qint64 rest = minutes % 60;
    if (rest == 0)
        return text + QStringLiteral(", about %1 h left").arg(hours);
    return text + QStringLiteral(", about %1 h %2 min left").arg(hours).arg(rest);
}

QString RunProgressText(const RunProgress &progress)
{
    return RunProgressText(progress.PagesStored(), progress.PagesToCapture(), progress.TimeLeft());
}
