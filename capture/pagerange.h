#pragma once

#include <QString>
#include <optional>

// The pages of a book a run captures, as the user writes them: "10-50", "10-" (page 10 to the
// book's end), "-50" (the page on display to page 50), "7" (that page alone) or "" (the page
// on display to the book's end). An end left out is 0 here and is filled in against the book
// (ResolvePageRange).
struct PageRange
{
    int from = 0; // first page; 0: the page on display
    int to = 0;   // last page; 0: the book's last page

    bool operator==(const PageRange &) const = default;
};

// The range in text, or none with the reason in *error: page numbers are whole numbers from 1
// up to the most pages a book has (MaxBookPages), at most one "-" between them, and the first
// page comes before the last. Spaces around the numbers are allowed.
std::optional<PageRange> ParsePageRange(const QString &text, QString *error = nullptr);

// The range written as ParsePageRange reads it: "10-50", "10-", "-50", "7" or "".
QString PageRangeText(const PageRange &range);

// The pages of one book a run is to capture, both ends counted.
struct PageSpan
{
    int first = 1;
    int last = 0; // 0: up to the book's end, whose page number is not known yet

    bool operator==(const PageSpan &) const = default;
};

// The range laid on a book: an open start is the page on display (page 1 when the viewer has
// not said which page it shows), an open end is the book's last page. A start or end past the
// book's end is refused, and so is an open start past the range's end; the reason goes to
// *error. When the book's page count is not known (totalPages 0) nothing can be checked
// against its end: the range is kept as given and an open end stays open.
std::optional<PageSpan> ResolvePageRange(const PageRange &range, int pageOnDisplay, int totalPages,
                                         QString *error = nullptr);
