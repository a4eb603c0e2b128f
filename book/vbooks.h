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
    // Throws when the query has no piece (nothing changed) or when the id leaves no usable
    // file name (id changed, dirid kept).
    virtual void getID(const QString &url);
    // Starts building the PDF of pages 1..totalPages (see TePubobj). False when a build is
    // running already.
    virtual bool BuildBook(int totalPages, TBookBuilder::Done done) = 0;
    // On: makes sure the page folder exists (throws with the reason when it cannot be made).
    // Nothing in it is removed.
    virtual void setWorking(bool on);

    // The book id of a viewer URL, as getID takes it; throws as getID does.
    static QString BookIdFromUrl(const QString &url);
    // The page folder's name for a book id: the id made safe as a file name and cut to what
    // a file system takes. Throws when nothing usable is left.
    static QString FolderName(const QString &id);

    // Stores one page report (JSON with "currpage" and an image data URL "img") as the page
    // file of its page number. curpage and imgpageno are set before the file is written.
    void SvePDFPage(const QString &report);
    // Writes the image of a data URL as the page file of curpage.
    void Saveblobimg(const QString &dataUrl, const QString &unused = QString());

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
    void writePageFile(const QByteArray &bytes);
};

class TePubobj : public TvBookobj
{
public:
    // Builds on Builder, off the GUI thread; done follows on the GUI thread. outputfile is
    // emptied now and set when the PDF is written. Throws when the book's id gives no file
    // name.
    bool BuildBook(int totalPages, TBookBuilder::Done done) override;
    // Where the book's PDF goes: the data folder, the safe id cut to 100 characters and to
    // what a file system takes beside the build's part-file suffix, ".pdf".
    QString PdfPath() const;

    TBookBuilder Builder;
    // Text is recognised in this language and laid over the pages; empty for none.
    QString OcrLanguage;
};
