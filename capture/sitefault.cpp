#include "sitefault.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

using namespace std::chrono;

SiteFault ReadSiteFault(const QString &json)
{
    SiteFault fault;
    const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
    if (const int status = object.value(QStringLiteral("status")).toInt(); status > 0)
        fault.text = QStringLiteral("HTTP %1").arg(status);
    else
        fault.text = object.value(QStringLiteral("error")).toString().left(200);
    const QString retryAfter = object.value(QStringLiteral("retryAfter")).toString().trimmed();
    if (retryAfter.isEmpty())
        return fault;
    bool isNumber = false;
    const qint64 seconds = retryAfter.toLongLong(&isNumber);
    if (isNumber) {
        if (seconds >= 0)
            fault.retryAfter = duration_cast<milliseconds>(std::chrono::seconds(qMin<qint64>(seconds, 86400)));
        return fault;
    }
    // An HTTP date: "Wed, 21 Oct 2026 07:28:00 GMT".
    const QDateTime when = QLocale::c().toDateTime(retryAfter.left(29), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (when.isValid()) {
        QDateTime utc = when;
        utc.setTimeSpec(Qt::UTC);
        const qint64 ms = QDateTime::currentDateTimeUtc().msecsTo(utc);
        fault.retryAfter = milliseconds(qBound<qint64>(0, ms, qint64(86400000)));
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
