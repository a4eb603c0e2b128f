#pragma once

#include <QString>

class TvBookobj;

// What became of a page report the page script printed.
struct CapturedPage
{
    bool stored = false;
    QString fault;   // why its image was not stored (a cut-off file, an error page, ...)
    // How the page came, for the log: "site JPEG", "site PNG" or "canvas <why>"; empty for
    // reports that do not say.
    QString way;
    QString wayLine; // the log line that says so
};

// Checks the report's image before anything is written: a whole JPEG or PNG of the size the
// viewer shows. Only then is it stored as the book's page file, byte for byte; a stored page
// is never replaced by anything else. Throws AppError for a report that is no JSON object and
// when the file cannot be written.
CapturedPage StoreCapturedPage(TvBookobj &book, const QString &report);
