#pragma once

#include "bookbuilder.h"

#include <QString>

// The book being captured: its identity from the viewer's address, the folder its pages go
// to, the page number of the last stored page and the last PDF written.
class TvBookobj
{
public:
    virtual ~TvBookobj() = default;

    // Sets id and dirid from a viewer URL: the first piece of its query part, after "=".
    // Throws, changing nothing, when the query has no piece or when the id leaves no usable
    // file name: id and dirid stay those of the last usable book.
    virtual void getID(const QString &url);
    // Starts building the PDF of pages firstPage..totalPages (see TePubobj). False when a build
    // is running already. A part of the book (range) gets a PDF of its own, named with its pages.
    virtual bool BuildBook(int totalPages, TBookBuilder::Done done, int firstPage = 1, bool range = false) = 0;
    // On: makes sure the page folder exists (throws with the reason when it cannot be made).
    // Nothing in it is removed.
    virtual void setWorking(bool on);

    // The book id of a viewer URL, as getID takes it; throws as getID does.
    static QString BookIdFromUrl(const QString &url);
    // The page folder's name for a book id: the id made safe as a file name and cut to what
    // a file system takes. Throws when nothing usable is left.
    static QString FolderName(const QString &id);
    // Why a viewer URL gives no book the program can store (no id, or one that leaves no
    // file name), as a line for the user; empty when it gives one.
    static QString UnusableIdReason(const QString &url);
    // Whether two book ids name the same book: the same apart from a "#" fragment, which a
    // viewer's address keeps on the first page and may drop when it turns the page.
    static bool SameBook(const QString &id, const QString &other);

    // Stores one page report (JSON with "currpage" and an image data URL "img") as the page
    // file of its page number. curpage and imgpageno are set before the file is written.
    // False when the image is no page image the build can read (an image not loaded yet
    // gives "data:,"): then nothing is written, the page file there stays as it is, curpage
    // and imgpageno keep their values and refusal (when given) says why. Throws when the
    // report is no JSON object or the file cannot be written.
    bool SvePDFPage(const QString &report, QString *refusal = nullptr);
    // Writes the image of a data URL as the page file of curpage; false, writing nothing,
    // when it is no page image.
    bool Saveblobimg(const QString &dataUrl, const QString &unused = QString());

    // Stores bytes as the page file of page pageno (the viewer's page number as text); curpage
    // and imgpageno are set before the file is written, as by SvePDFPage.
    void StorePage(const QString &pageno, const QByteArray &bytes);

    QString PageFolder() const;

    QString id;
    QString dirid;
    QString outputfile;
    int curpage = 0;
    QString imgpageno;

private:
    // Writes the page file of curpage, replacing it whole.
    void writePageFile(const QByteArray &bytes) const;
};

class TePubobj : public TvBookobj
{
public:
    // Builds on Builder, off the GUI thread; done follows on the GUI thread. outputfile is
    // emptied now and set when the PDF is written. Throws when the book's id gives no file
    // name.
    bool BuildBook(int totalPages, TBookBuilder::Done done, int firstPage = 1, bool range = false) override;
    // Where the book's PDF goes: OutputFolder (the data folder when empty), the safe id cut to
    // 100 characters and to what a file system takes beside the build's part-file suffix,
    // " (pages <first>-<last>)" for a part of the book, ".pdf".
    QString PdfPath(int firstPage = 1, int lastPage = 0) const;
    // Where PDFs are written; ends with "/". Empty: the data folder.
    QString OutputFolder;

    TBookBuilder Builder;
    // Text is recognised in this language and laid over the pages; empty for none.
    QString OcrLanguage;
};
