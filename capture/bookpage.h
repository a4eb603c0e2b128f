#pragma once

#include "bookidentity.h"

#include <QString>

class TvBookobj;

// What a finished main-frame load means for the window.
enum class LoadEndResult {
    Unchanged,  // a run is in progress: the window stays as it is
    BookPage,   // a book viewer page: offer Download, then identify the book
    OtherPage,  // any other page: no Download, no Rebuild
};

// Whether page 1 of the book is stored, so that Rebuild can be offered.
bool HasStoredPages(const TvBookobj &book);

// Whether page is stored for the book: its page file is there and the build can read it (by
// its headers: a PNG's image data is not inflated).
bool IsPageStored(const TvBookobj &book, int page);

// The first page from `from` to `last` (both counted) not yet stored; 0 when all are. last 0:
// the book's end is not known, so the page after the stored ones from `from` is missing.
int FirstMissingPage(const TvBookobj &book, int from, int last);
