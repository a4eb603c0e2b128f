#pragma once

#include <QString>

// The book's title from the viewer page's document title: the library puts the page and its
// own name after the title ("A Book - Page 3 | Quillmoor"), so the title is the text before
// the first " - " or " | ", trimmed. The book id when that leaves nothing.
QString BookTitleFromPageTitle(const QString &pageTitle, const QString &bookId);
