#include "freefilename.h"

#include <QDir>
#include <QFileInfo>

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

QString FreeFileName(const QString &folder, const QString &name, const QSet<QString> &reserved)
{
    const QDir dir(folder);
    return NumberedFileName(name, [&](const QString &candidate) {
        return reserved.contains(candidate) || QFileInfo::exists(dir.filePath(candidate));
    });
}
