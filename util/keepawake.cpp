#include "keepawake.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const char *Service = "org.freedesktop.ScreenSaver";
const char *Path = "/org/freedesktop/ScreenSaver";

bool g_requested = false;
uint g_cookie = 0;       // the service's answer to our request, 0 until it came
int g_generation = 0;    // tells a late answer from an earlier request apart

void unInhibit(uint cookie)
{
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path),
                                                       QLatin1String(Service), QStringLiteral("UnInhibit"));
    call << cookie;
    QDBusConnection::sessionBus().asyncCall(call);
}

} // namespace

namespace KeepAwake {

void Request()
{
    if (g_requested)
        return;
    g_requested = true;
    const int generation = ++g_generation;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(QLatin1String(Service), QLatin1String(Path),
                                                       QLatin1String(Service), QStringLiteral("Inhibit"));
    call << QCoreApplication::applicationName() << QStringLiteral("Downloading a book");
    // Asked without waiting: the run must not stall on a slow or absent service.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 2000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [generation](QDBusPendingCallWatcher *w) {
        const QDBusPendingReply<uint> reply = *w;
        w->deleteLater();
        if (reply.isError())
            return;
        if (g_requested && generation == g_generation)
            g_cookie = reply.value();
        else
            unInhibit(reply.value()); // released before the answer came
    });
}

void Release()
{
    if (!g_requested)
        return;
    g_requested = false;
    if (g_cookie != 0)
        unInhibit(g_cookie);
    g_cookie = 0;
}

bool Requested()
{
    return g_requested;
}

} // namespace KeepAwake
