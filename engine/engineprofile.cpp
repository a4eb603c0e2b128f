#include "engineprofile.h"

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>

void PrepareEngineProcess()
{
    // Chromium's sandbox cannot run as root and is of no use for the one site we show.
    if (qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

QWebEngineProfile *CreateEngineProfile(const QString &storagePath, QObject *parent)
{
    auto *profile = new QWebEngineProfile(QStringLiteral("QuillmoorDownloader"), parent);
    profile->setPersistentStoragePath(storagePath);
    profile->setCachePath(storagePath);
    profile->setPersistentCookiesPolicy(QWebEngineProfile::ForcePersistentCookies);
    profile->settings()->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, true);
    return profile;
}
