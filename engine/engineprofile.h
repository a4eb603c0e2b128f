#pragma once

#include <QString>

class QObject;
class QWebEngineProfile;

// Must run before the QApplication is created: the engine's process settings.
void PrepareEngineProcess();

// The program's browser profile: cookies, sign-ins, cache and site data kept on disk in
// storagePath, so they survive a restart.
QWebEngineProfile *CreateEngineProfile(const QString &storagePath, QObject *parent = nullptr);
