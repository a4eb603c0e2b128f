#pragma once

#include "browsersandbox.h"

#include <QString>

class QObject;
class QWebEngineProfile;

// Must run before the QApplication is created: the engine's process settings, Chromium's
// sandbox among them (browsersandbox.h), which it returns.
BrowserSandbox PrepareEngineProcess();

// The program's browser profile: cookies, sign-ins, cache and site data kept on disk in
// storagePath, so they survive a restart.
QWebEngineProfile *CreateEngineProfile(const QString &storagePath, QObject *parent = nullptr);
