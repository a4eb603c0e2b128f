#include "bookinfo.h"

#include "pdfe.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <cmath>

namespace {

// The record's members, as book.json keeps them and the viewer's record tells them.
BookInfo fromJson(const QJsonObject &record)
{
    return BookInfo{record.value(QStringLiteral("title")).toString(), record.value(QStringLiteral("address")).toString()};
}

QJsonObject toJson(const BookInfo &info)
{
    return {{QStringLiteral("title"), info.title}, {QStringLiteral("address"), info.address}};
}

// A page count: a whole number, or decimal text of one; -1 for anything else.
qint64 countOf(const QJsonValue &value)
{
    if (value.isDouble()) {
        const double d = value.toDouble();
        return d == std::trunc(d) && std::fabs(d) < 9e15 ? qint64(d) : -1;
    }
    bool ok = false;
    const qint64 count = value.toString().trimmed().toLongLong(&ok);
    return ok ? count : -1;
}

} // namespace

QString BookInfoPath(const QString &pageFolder)
{
    return QDir(pageFolder).filePath(QStringLiteral("book.json"));
}

bool SaveBookInfo(const QString &pageFolder, const BookInfo &info)
{
    QSaveFile file(BookInfoPath(pageFolder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(toJson(info)).toJson());
    return file.commit();
}

std::optional<BookInfo> LoadBookInfo(const QString &pageFolder)
{
    QFile file(BookInfoPath(pageFolder));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

ViewerBook ReadViewerBook(const QString &json)
{
    const QJsonObject record = QJsonDocument::fromJson(json.toUtf8()).object();
    ViewerBook book;
    book.info = fromJson(record);
    book.totalPages = countOf(record.value(QStringLiteral("totalSeq")));
    return book;
}

std::map<int, QString> PdfDocumentInfo(const BookInfo &info)
{
    return {{PDFE_SP_TITLE, info.title}, {PDFE_SP_SUBJECT, info.address}};
}
