#pragma once

#include <QString>
#include <map>
#include <optional>

// What the program knows of a book beyond its pages, kept in the page folder beside them
// (book.json) so that a rebuild after a restart names the PDF the same way.
struct BookInfo
{
    QString title;   // the book's title, as the PDF's Title
    QString address; // the viewer address it was captured from
};

// The PDF's document information from the record: the PDF engine library's text properties
// (PDFE_SP_TITLE, PDFE_SP_SUBJECT, ...) with their texts.
std::map<int, QString> PdfDocumentInfo(const BookInfo &info);

// <pageFolder>/book.json
QString BookInfoPath(const QString &pageFolder);

// Writes the record atomically (a reader sees the old record or the new one, never a part).
// False when it could not be written.
bool SaveBookInfo(const QString &pageFolder, const BookInfo &info);

// The record kept in pageFolder; none when there is no record or it cannot be read.
std::optional<BookInfo> LoadBookInfo(const QString &pageFolder);

// What the viewer tells of the book on display, as the book script prints it: its page count
// ("totalSeq") and the members of the record above it knows ("title" is the page's title,
// which BookTitleFromPageTitle makes the book's).
struct ViewerBook
{
    qint64 totalPages = -1; // -1: the viewer gave no count, or none that is a whole number
    BookInfo info;
};

// The book script's JSON record; a record that cannot be read tells nothing (count -1).
ViewerBook ReadViewerBook(const QString &json);
