#pragma once

#include <QString>
#include <chrono>
#include <optional>

// Why the site did not give a page's image, as the page script told it.
struct SiteFault
{
    QString text;                                   // "HTTP 503", "no connection"; empty: not said
    std::optional<std::chrono::milliseconds> retryAfter; // the wait the site asked for
};

// Reads the page script's fault report ({"status": 503, "retryAfter": "40"} or
// {"error": "no connection"}); Retry-After is seconds or an HTTP date. Anything else, or
// nothing, gives an empty fault.
SiteFault ReadSiteFault(const QString &json);

// A wait for the log: "45 s", "2 min", "1 min 30 s".
QString WaitText(std::chrono::milliseconds wait);
