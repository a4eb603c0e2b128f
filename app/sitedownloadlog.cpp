#include "sitedownloadlog.h"

#include "activitylog.h"
#include "sitedownloads.h"

TSiteDownloads *LogSiteDownloads(QWebEngineProfile *profile)
{
    auto *downloads = new TSiteDownloads(profile);
    QObject::connect(downloads, &TSiteDownloads::Started, [](const QString &name) {
        AddLog(QStringLiteral("Download file %1 ...").arg(name));
    });
    QObject::connect(downloads, &TSiteDownloads::Saved, [](const QString &path) {
        AddLog(QStringLiteral("saved file %1").arg(path));
    });
    QObject::connect(downloads, &TSiteDownloads::Failed, [](const QString &name, const QString &reason) {
        AddLog(QStringLiteral("download failed %1: %2").arg(name, reason));
    });
    return downloads;
}
