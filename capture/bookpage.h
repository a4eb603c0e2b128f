#pragma once

#include <QString>

class TvBookobj;

// What a finished main-frame load means for the window.
enum class LoadEndResult {
    Unchanged,  // a run is in progress: only the tick count was reset
    BookPage,   // a book viewer page: offer Download, then identify the book
    OtherPage,  // any other page: no Download, no Rebuild
};

// Decides on a main-frame load end: resets the tick count and, outside a run, clears the
// log for a book viewer page (an address containing "/cgi/pt?id=").
LoadEndResult Loadendhandle(const QString &url);

// Whether page 1 of the book is stored, so that Rebuild can be offered.
bool HasStoredPages(const TvBookobj &book);
