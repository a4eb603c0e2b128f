#include "browsersandbox.h"

BrowserSandbox ChooseBrowserSandbox(bool runningAsRoot, bool turnedOffByUser)
{
    if (turnedOffByUser)
        return {false, QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX is set")};
    if (runningAsRoot)
        return {false, QStringLiteral("the program runs as root, where Chromium cannot use it")};
    return {};
}

QString BrowserSandboxLogLine(const BrowserSandbox &sandbox)
{
    if (sandbox.on)
        return {};
    return QStringLiteral("The browser's sandbox is off: %1").arg(sandbox.offReason);
}
