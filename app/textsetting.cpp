#include "textsetting.h"

QSettings ProgramSettings()
{
    return QSettings(QStringLiteral("Brindlewick"), QStringLiteral("Quillmoor Downloader"));
}

QString SavedTextLanguage(const QStringList &installed)
{
    if (installed.isEmpty())
        return {};
    const QSettings settings = ProgramSettings();
    if (!settings.value(QStringLiteral("ocr/searchable"), true).toBool())
        return {};
    const QString language = settings.value(QStringLiteral("ocr/language"), QStringLiteral("eng")).toString();
    if (installed.contains(language))
        return language;
    return installed.contains(QStringLiteral("eng")) ? QStringLiteral("eng") : installed.first();
}
