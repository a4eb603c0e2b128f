#include "engineprofile.h"

#include <QCoreApplication>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <unistd.h>

BrowserSandbox PrepareEngineProcess()
{
    const BrowserSandbox sandbox =
        ChooseBrowserSandbox(geteuid() == 0, qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"));
    // As root Chromium refuses to start unless told to do without its sandbox.
    if (!sandbox.on && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    return sandbox;
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
