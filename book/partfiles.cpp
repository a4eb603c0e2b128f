#include "partfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>

void RemoveStalePartFiles(const QString &outputPath)
{
    const QFileInfo output(outputPath);
    const QString prefix = output.fileName() + QStringLiteral(".part");
    QDir folder = output.absoluteDir();
    const QStringList names = folder.entryList({prefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QStringView digits = QStringView(name).mid(prefix.size());
        bool number = !digits.isEmpty();
        for (const QChar c : digits)
            number = number && c.isDigit();
        const qint64 pid = number ? digits.toLongLong(&number) : 0;
        if (!number || pid <= 0 || pid > 0x7fffffff)
            continue;
        // Signal 0 only asks whether the process exists; ESRCH: it does not.
        if (::kill(pid_t(pid), 0) == -1 && errno == ESRCH)
            QFile::remove(folder.filePath(name));
    }
}
