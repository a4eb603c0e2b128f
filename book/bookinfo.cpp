#include "bookinfo.h"

#include "pdfe.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

QString BookInfoPath(const QString &pageFolder)
{
    return QDir(pageFolder).filePath(QStringLiteral("book.json"));
}

bool SaveBookInfo(const QString &pageFolder, const BookInfo &info)
{
    QJsonObject record;
    record.insert(QStringLiteral("title"), info.title);
    record.insert(QStringLiteral("address"), info.address);
    QSaveFile file(BookInfoPath(pageFolder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(QJsonDocument(record).toJson());
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
    const QJsonObject record = document.object();
    return BookInfo{record.value(QStringLiteral("title")).toString(), record.value(QStringLiteral("address")).toString()};
}

std::map<int, QString> PdfDocumentInfo(const BookInfo &info)
{
    return {{PDFE_SP_TITLE, info.title}, {PDFE_SP_SUBJECT, info.address}};
}
