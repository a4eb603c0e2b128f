#pragma once

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
    // Assembles the PDF of pages 1..TotalPages; the argument is not used.
    virtual void BuildBook(const QString &file) = 0;
    // On: makes sure the page folder exists. Nothing in it is removed.
    virtual void setWorking(bool on);

    // Stores one page report (JSON with "currpage" and an image data URL "img") as the page
    // file of its page number. curpage and imgpageno are set before the file is written.
    void SvePDFPage(const QString &report);
    // Writes the image of a data URL as the page file of curpage.
    void Saveblobimg(const QString &dataUrl, const QString &unused = QString());

    QString PageFolder() const;

    QString id;
    QString dirid;
    QString outputfile;
    int curpage = 0;
    QString imgpageno;
};

class TePubobj : public TvBookobj
{
public:
    void BuildBook(const QString &file) override;
};
