#include "desktopnotify.h"

#include "appid.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

void NotifyDesktop(const QString &summary, const QString &body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    // The desktop entry lets the desktop show the program's name and icon beside the text.
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), AppId());
    call << QCoreApplication::applicationName() // app_name
         << uint(0)                              // replaces_id: a new notification
         << AppId()                              // app_icon: the installed icon's name
         << summary << body
         << QStringList()                        // actions
         << hints
         << int(-1);                             // expire_timeout: the desktop's default
    // No answer is waited for: a slow or missing service must not hold up the program.
    call.setAutoStartService(false);
    bus.asyncCall(call, 2000);
}
