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
