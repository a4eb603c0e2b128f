#pragma once

#include <QString>

class TvBookobj;

// What a finished main-frame load means for the window.
enum class LoadEndResult {
    Unchanged,  // a run is in progress: the window stays as it is
    BookPage,   // a book viewer page: offer Download, then identify the book
    OtherPage,  // any other page: no Download, no Rebuild
};

// Whether an address is one of the library's book viewer pages ("/cgi/pt?id=" in it).
bool IsBookViewerUrl(const QString &url);

// Whether page 1 of the book is stored, so that Rebuild can be offered.
bool HasStoredPages(const TvBookobj &book);
