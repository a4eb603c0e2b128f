#include "ocrmodels.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QString DebianFolder = QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
const QString Suffix = QStringLiteral(".traineddata");
} // namespace

QString OcrModelFolder()
{
    const QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (prefix.isEmpty())
        return DebianFolder;
    const QDir dir(prefix);
    if (dir.entryList({QLatin1Char('*') + Suffix}, QDir::Files).isEmpty() && dir.exists(QStringLiteral("tessdata")))
        return QDir::cleanPath(dir.filePath(QStringLiteral("tessdata")));
    return QDir::cleanPath(prefix);
}

QStringList InstalledOcrLanguages()
{
    QStringList languages;
    const QFileInfoList files = QDir(OcrModelFolder()).entryInfoList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName().chopped(Suffix.size());
        if (name != QLatin1String("osd") && !name.isEmpty())
            languages << name;
    }
    return languages;
}

bool IsOcrLanguageInstalled(const QString &language)
{
    const QStringList parts = language.split(QLatin1Char('+'));
    const QDir folder(OcrModelFolder());
    for (const QString &part : parts) {
        if (part.isEmpty() || part.contains(QLatin1Char('/')) || !folder.exists(part + Suffix))
            return false;
    }
    return true;
}

QString OcrModelPackage(const QString &language)
{
    return QStringLiteral("tesseract-ocr-") + language.toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
}
