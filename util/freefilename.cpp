#include "freefilename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A plain file name: no folder part, no surrounding spaces, never "." or "..".
QString plainName(const QString &name)
{
    QString plain = name.section(QLatin1Char('/'), -1).section(QLatin1Char('\\'), -1).trimmed();
    if (plain.isEmpty() || plain == QLatin1String(".") || plain == QLatin1String(".."))
        plain = QStringLiteral("download");
    return plain;
}

// Where the extension starts (its dot), or the length of name when it has none.
qsizetype extensionStart(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return name.size();
    // Compressed archives keep both parts together: "data.tar.gz" -> "data (1).tar.gz".
    const qsizetype inner = name.lastIndexOf(QLatin1Char('.'), dot - 1);
    if (inner > 0 && name.mid(inner, dot - inner).compare(QLatin1String(".tar"), Qt::CaseInsensitive) == 0)
        return inner;
    return dot;
}

} // namespace

QString NumberedFileName(const QString &name, const std::function<bool(const QString &)> &taken)
{
    const QString plain = plainName(name);
    if (!taken(plain))
        return plain;
    const qsizetype split = extensionStart(plain);
    const QString stem = plain.left(split);
    const QString extension = plain.mid(split);
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
        if (!taken(candidate))
            return candidate;
    }
}

bool FileNameTaken(const QString &folder, const QString &name, const QSet<QString> &reserved)
{
    if (reserved.contains(name))
        return true;
    const QFileInfo info(QDir(folder).filePath(name));
    return info.exists() || info.isSymLink(); // exists() follows a link; one to nowhere is there too
}

QString FreeFileName(const QString &folder, const QString &name, const QSet<QString> &reserved)
{
    return NumberedFileName(name, [&](const QString &candidate) { return FileNameTaken(folder, candidate, reserved); });
}

QString CreateFreeFile(const QString &folder, const QString &name,
                       const std::function<bool(const QString &)> &taken, QString *error)
{
    const QDir dir(folder);
    QSet<QString> foundThere; // names that were free by taken() but not when the file was made
    for (;;) {
        const QString candidate = NumberedFileName(
            name, [&](const QString &n) { return foundThere.contains(n) || taken(n); });
        // O_EXCL: fails on anything at the name, a symbolic link included, and never follows one.
        const int fd = ::open(QFile::encodeName(dir.filePath(candidate)).constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            return candidate;
        }
        if (errno != EEXIST) {
            if (error)
                *error = QString::fromLocal8Bit(std::strerror(errno));
            return {};
        }
        foundThere.insert(candidate);
    }
}
