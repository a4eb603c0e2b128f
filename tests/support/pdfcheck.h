#pragma once

#include <QImage>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

// Independent readers of a PDF: qpdf and poppler's command-line tools.
namespace PdfCheck {

// Runs a program; its standard output, or a null string when it failed to run or exited
// with an error.
QString run(const QString &program, const QStringList &arguments);

// qpdf --check passes.
bool qpdfCheck(const QString &pdf);

// Page sizes in points, by pdfinfo.
QList<QSizeF> pageSizes(const QString &pdf);

struct Image
{
    int page = 0;
    QString type;      // "image" or "smask"
    QString color;     // "gray", "rgb", ...
    int bpc = 0;
    QString encoding;  // "image" (Flate), "jpeg", ...
    QString file;      // extracted by pdfimages -all
};

// Every image of the PDF, extracted into folder.
QList<Image> images(const QString &pdf, const QString &folder);

// A page (from 1) drawn by poppler's cairo renderer at size pixels, on a transparent
// background; a null image when it failed. folder holds the file it writes.
QImage renderWithPoppler(const QString &pdf, int page, QSize size, const QString &folder);

// The stream data of object number `object` as stored (undecoded), by qpdf.
QByteArray rawStream(const QString &pdf, int object);

} // namespace PdfCheck
