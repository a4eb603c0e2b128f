#pragma once

#include <QDateTime>
#include <QString>
#include <chrono>
#include <optional>

// Why the site did not give a page's image, as the page script told it.
struct SiteFault
{
    enum Kind {
        None,    // nothing said
        Down,    // the site cannot answer now: a 5xx status, 429, no connection
        Refused, // the site answered with another status (404, 403, ...)
        Damaged, // the site answered with success, but with a file no decoder reads
    };
    Kind kind = None;
    QString text;                                        // "HTTP 503", "no connection"
    std::optional<std::chrono::milliseconds> retryAfter; // the wait the site asked for
};

// Why a page was given up.
enum class GiveUpCause {
    Failed,       // it did not come, waits and all
    Unusable,     // an image came that cannot be the page
    Damaged,      // the site sends a file no decoder reads
    Refused,      // the site answers with a status that is no image ("HTTP 404")
    ProcessEnded, // it ended the browser's page process each try
};

// Reads the page script's fault report ({"status": 503, "retryAfter": "40"},
// {"error": "no connection"}, {"status": 200, "damaged": true}). Retry-After is seconds (of any
// size, a day at the most) or an HTTP date in any of its three forms, in UTC; a date before now
// is no wait. Anything else, or nothing, gives an empty fault.
SiteFault ReadSiteFault(const QString &json, const QDateTime &nowUtc = QDateTime::currentDateTimeUtc());

// An HTTP date (IMF-fixdate "Sun, 06 Nov 1994 08:49:37 GMT", RFC 850 "Sunday, 06-Nov-94
// 08:49:37 GMT" or asctime "Sun Nov  6 08:49:37 1994"), in UTC; none for anything else.
std::optional<QDateTime> ReadHttpDate(const QString &text, const QDateTime &nowUtc = QDateTime::currentDateTimeUtc());

// A wait for the log: "45 s", "2 min", "1 min 30 s".
QString WaitText(std::chrono::milliseconds wait);
