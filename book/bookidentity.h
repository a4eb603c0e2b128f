#pragma once

#include <QString>

// A book's identity, in one place: which addresses are a book's viewer, the book's id in them,
// when two ids name the same book, and the names of the book's page folder and PDF that follow
// from the id, with the limits of each.

// The most pages a book has; a larger count from the viewer, or for a build, is refused.
constexpr int MaxBookPages = 100000;

// Whether an address is one of the library's book viewer pages ("/cgi/pt?id=" in it).
bool IsBookViewerUrl(const QString &url);

// The book id of a viewer address: the first piece of its query part (percent-escapes decoded,
// the "#" fragment included), after "=". Throws when the query has no piece.
QString BookIdFromUrl(const QString &url);

// Whether two book ids name the same book: the same apart from a "#" fragment, which a
// viewer's address keeps on the first page and may drop when it turns the page.
bool SameBook(const QString &id, const QString &other);

// The page folder's name for a book id: the id made safe as a file name and cut to what a file
// system takes. Throws when nothing usable is left.
QString BookFolderName(const QString &id);

// The file name of a book's PDF before ".pdf": the safe id cut to 100 characters and to what a
// file system takes beside ".pdf" and a build's part-file suffix. Throws as BookFolderName.
QString BookPdfName(const QString &id);

// Why a viewer address gives no book the program can store (no id, or one that leaves no file
// name), as a line for the user; empty when it gives one.
QString UnusableBookIdReason(const QString &url);

// The page a viewer address shows: its "seq" number; 0 when it names none.
int BookPageFromUrl(const QString &url);

// The viewer address of the same book at page: the address with its "seq" number set to page,
// everything else (the book's id, a "#" fragment) as it was.
QString BookPageUrl(const QString &url, int page);
