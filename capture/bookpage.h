#pragma once

#include "bookidentity.h"

#include <QString>

class TvBookobj;

// Whether page 1 of the book is stored, so that Rebuild can be offered.
bool HasStoredPages(const TvBookobj &book);

// Whether page is stored for the book: its page file is there and the build can read it (by
// its headers: a PNG's image data is not inflated).
bool IsPageStored(const TvBookobj &book, int page);
