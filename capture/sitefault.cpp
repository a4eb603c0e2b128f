#include "sitefault.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using namespace std::chrono;

namespace {

// A Retry-After longer than this is taken as this (the run obeys far less anyway).
constexpr qint64 LongestRetryAfterSeconds = 86400;

int monthOf(const QString &name)
{
    static const QStringList months{QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"), QStringLiteral("Apr"),
                                    QStringLiteral("May"), QStringLiteral("Jun"), QStringLiteral("Jul"), QStringLiteral("Aug"),
                                    QStringLiteral("Sep"), QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    return int(months.indexOf(name)) + 1; // 0: no month
}

std::optional<QDateTime> dateTime(int year, const QString &month, int day, int hour, int minute, int second)
{
    const QDate date(year, monthOf(month), day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

std::optional<QDateTime> ReadHttpDate(const QString &text, const QDateTime &nowUtc)
{
    static const QRegularExpression imf(QStringLiteral(
        R"(^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun), (\d{2}) ([A-Z][a-z]{2}) (\d{4}) (\d{2}):(\d{2}):(\d{2}) GMT$)"));
    static const QRegularExpression rfc850(QStringLiteral(
        R"(^(?:Monday|Tuesday|Wednesday|Thursday|Friday|Saturday|Sunday), (\d{2})-([A-Z][a-z]{2})-(\d{2}) (\d{2}):(\d{2}):(\d{2}) GMT$)"));
    static const QRegularExpression asctime(QStringLiteral(
        R"(^(?:Mon|Tue|Wed|Thu|Fri|Sat|Sun) ([A-Z][a-z]{2}) ([ \d]\d) (\d{2}):(\d{2}):(\d{2}) (\d{4})$)"));
    const QString date = text.trimmed();
    if (const QRegularExpressionMatch m = imf.match(date); m.hasMatch())
        return dateTime(m.captured(3).toInt(), m.captured(2), m.captured(1).toInt(), m.captured(4).toInt(),
                        m.captured(5).toInt(), m.captured(6).toInt());
    if (const QRegularExpressionMatch m = rfc850.match(date); m.hasMatch()) {
        // A two-digit year more than 50 years ahead is the last past year ending so.
        int year = nowUtc.date().year() / 100 * 100 + m.captured(3).toInt();
        if (year > nowUtc.date().year() + 50)
            year -= 100;
        return dateTime(year, m.captured(2), m.captured(1).toInt(), m.captured(4).toInt(), m.captured(5).toInt(),
                        m.captured(6).toInt());
    }
    if (const QRegularExpressionMatch m = asctime.match(date); m.hasMatch())
        return dateTime(m.captured(6).toInt(), m.captured(1), m.captured(2).trimmed().toInt(), m.captured(3).toInt(),
                        m.captured(4).toInt(), m.captured(5).toInt());
    return std::nullopt;
}

SiteFault ReadSiteFault(const QString &json, const QDateTime &nowUtc)
{
    SiteFault fault;
    const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
    const int status = object.value(QStringLiteral("status")).toInt();
    if (object.value(QStringLiteral("damaged")).toBool()) {
        fault.kind = SiteFault::Damaged;
        fault.text = QStringLiteral("damaged");
        return fault;
    }
    if (status > 0) {
        fault.kind = status >= 500 || status == 429 ? SiteFault::Down : SiteFault::Refused;
        fault.text = QStringLiteral("HTTP %1").arg(status);
    } else if (const QString error = object.value(QStringLiteral("error")).toString().left(200); !error.isEmpty()) {
        fault.kind = SiteFault::Down;
        fault.text = error;
    } else {
        return fault;
    }
    const QString retryAfter = object.value(QStringLiteral("retryAfter")).toString().trimmed();
    static const QRegularExpression digits(QStringLiteral("^\\d+$"));
    if (digits.match(retryAfter).hasMatch()) {
        // Of any size: past the longest wait, the longest.
        bool fits = false;
        const qint64 seconds = retryAfter.toLongLong(&fits);
        fault.retryAfter = std::chrono::seconds(fits ? qMin(seconds, LongestRetryAfterSeconds) : LongestRetryAfterSeconds);
    } else if (const std::optional<QDateTime> when = ReadHttpDate(retryAfter, nowUtc)) {
        fault.retryAfter = milliseconds(qBound<qint64>(0, nowUtc.msecsTo(*when), LongestRetryAfterSeconds * 1000));
    }
    return fault;
}

QString WaitText(milliseconds wait)
{
    const qint64 total = qMax<qint64>(0, (wait.count() + 999) / 1000);
    if (total < 60)
        return QStringLiteral("%1 s").arg(total);
    const qint64 minutes = total / 60, seconds = total % 60;
    return seconds ? QStringLiteral("%1 min %2 s").arg(minutes).arg(seconds) : QStringLiteral("%1 min").arg(minutes);
}
