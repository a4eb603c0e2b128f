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

} // namespace PdfCheck
