#include "makefolder.h"

#include "apperror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdlib>

QString MakeUserFolder(const QString &name)
{
    // The documents folder may not exist yet on a new account; without it nothing below
    // could be created, so it is made first.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QDir().mkpath(documents);
    QString path = documents + QLatin1String("/Brindlewick");
    EnsureFolder(path);
    path += QLatin1Char('/') + name + QLatin1Char('/');
    EnsureFolder(path);
    return path;
}

void EnsureFolder(const QString &path)
{
    QDir dir(path);
    if (!dir.exists())
        QDir().mkdir(dir.absolutePath());
}

void MakeFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(QDir(path).absolutePath());
    if (::mkdir(native.constData(), 0777) != 0 && errno != EEXIST)
        throw AppError(QStringLiteral("Cannot create folder \"%1\". %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    if (!QFileInfo(path).isDir())
        throw AppError(QStringLiteral("Cannot create folder \"%1\". A file of that name is in the way").arg(path));
}

void MakeFolders(const QString &path)
{
    const QString absolute = QDir(path).absolutePath();
    QString made;
    for (const QString &part : absolute.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        made += QLatin1Char('/') + part;
        if (!QFileInfo(made).isDir())
            MakeFolder(made);
    }
}

QString FolderWriteProblem(const QString &path)
{
    QByteArray name = QFile::encodeName(QDir(path).absoluteFilePath(QStringLiteral(".write-probe-XXXXXX")));
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::close(fd);
    ::unlink(name.constData());
    return {};
}
