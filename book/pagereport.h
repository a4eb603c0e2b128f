#pragma once

#include "pageimage.h"

#include <QByteArray>
#include <QJsonValue>
#include <QString>
#include <QStringView>

// A page report of the page script, read: the page on display, the image file it came in and
// the size the viewer shows it at.
struct PageReport {
    QString currpage;       // the viewer's page number, as text
    QByteArray bytes;       // the image file, from the "img" data URL
    int naturalWidth = 0;   // the picture's size in the viewer (EXIF orientation applied);
    int naturalHeight = 0;  // 0 when the report does not say
    QString source;         // "site": the file the browser loaded; "canvas": a copy drawn in the page
    QString why;            // for a canvas copy: why the site's file was not taken ("WebP", ...)
    QString src;            // source "browser": the image's address, for the browser to download
};

// Reads the JSON of a page report. Throws AppError when it is no JSON object.
PageReport ReadPageReport(const QString &text);

// A report member as text: strings as they are, numbers in decimal, true and false, else empty.
QString ReportMemberText(const QJsonValue &value);

// The bytes of a Base64 data URL: what follows its first comma, decoded.
QByteArray DataUrlBytes(QStringView dataUrl);

// Why the report's file cannot be stored as the page, empty when it can: it must be a whole
// JPEG or PNG file the build reads, of the size the viewer shows. info tells what it is.
QString PageReportFault(const PageReport &report, PageImageInfo &info);
