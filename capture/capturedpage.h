#pragma once

#include <QString>

class TvBookobj;
struct PageReport;

// What became of a page report the page script printed.
struct CapturedPage
{
    bool stored = false;
    int page = 0;    // the page it was stored as
    QString fault;   // why its image was not stored (a cut-off file, an error page, ...)
    // How the page came, for the log: "site JPEG", "site PNG" or "canvas <why>"; empty for
    // reports that do not say.
    QString way;
    QString wayLine; // the log line that says so
};

// Checks the page report before anything is written: a page number the book has (from 1 to
// lastPage, or to the largest book the program takes when lastPage is 0) and a whole JPEG or
// PNG of the size the viewer shows. Only then is it stored as the book's page file, byte for
// byte. Throws AppError when the file cannot be written.
CapturedPage StoreCapturedPage(TvBookobj &book, const PageReport &report, int lastPage = 0);
