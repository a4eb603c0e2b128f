#include "resourcetext.h"

#include "apperror.h"

#include <QDir>
#include <QFile>
#include <QIODevice>

namespace {

QString matchEntry(const QString &folder, const QString &name, QDir::Filters filters)
{
    const QStringList entries = QDir(folder).entryList(filters);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    }
    return {};
}

} // namespace

QString FindResourcePath(const QString &name, const QString &type)
{
    const QString typeDir = matchEntry(QStringLiteral(":/"), type, QDir::Dirs | QDir::NoDotAndDotDot);
    if (typeDir.isEmpty())
        return {};
    const QString folder = QStringLiteral(":/") + typeDir;
    const QString entry = matchEntry(folder, name, QDir::Files);
    return entry.isEmpty() ? QString() : folder + QLatin1Char('/') + entry;
}

QString ResourceText(const QString &name, const QString &type)
{
    const QString path = FindResourcePath(name, type);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        throw AppError(QStringLiteral("Resource %1 not found").arg(name));
    return StreamToText(&file);
}

QString StreamToText(QIODevice *stream)
{
    if (!stream)
        return {};
    if (!stream->isSequential())
        stream->seek(0);
    return QString::fromLocal8Bit(stream->readAll());
}
