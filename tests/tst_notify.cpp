#include "appid.h"
#include "desktopnotify.h"
#include "testenv.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusContext>
#include <QProcess>
#include <QtTest>

// Desktop notifications against a session bus of the test's own (dbus-daemon), where a small
// object stands in for the desktop's notification service and records what it is sent.
class NotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    bool answers = true; // false: a desktop that has hung, taking calls and never answering
    struct Call
    {
        QString appName, appIcon, summary, body;
        uint replacesId = 0;
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
    };
    QList<Call> calls;

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        calls << Call{appName, appIcon, summary, body, replacesId, actions, hints, timeout};
        if (!answers)
            setDelayedReply(true); // and no reply is ever sent
        return uint(calls.size());
    }
};

class TestNotify : public QObject
{
    Q_OBJECT
public:
    explicit TestNotify(QString busAddress) : m_address(std::move(busAddress)) {}

private slots:
    void initTestCase();
    void silentWithoutService();
    void notifies_data();
    void notifies();
    void hungServiceHoldsNothingUp();

private:
    void registerService();

    QString m_address;
    NotificationService service;
    bool registered = false;
};

void TestNotify::initTestCase()
{
    QVERIFY2(!m_address.isEmpty(), "dbus-daemon did not start");
    QVERIFY(QDBusConnection::sessionBus().isConnected());
}

void TestNotify::silentWithoutService()
{
    // Nobody owns the name: the call fails on the bus, and is not kept to be delivered once a
    // service comes.
    NotifyDesktop(QStringLiteral("PDF saved"), QStringLiteral("nobody listens"));
    registerService();
    NotifyDesktop(QStringLiteral("PDF saved"), QStringLiteral("someone listens"));
    QTRY_COMPARE(service.calls.size(), 1);
    QCOMPARE(service.calls.first().body, QStringLiteral("someone listens"));
}

void TestNotify::registerService()
{
    if (registered)
        return;
    QDBusConnection owner = QDBusConnection::connectToBus(m_address, QStringLiteral("notification-service"));
    QVERIFY(owner.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service, QDBusConnection::ExportAllSlots));
    QVERIFY(owner.registerService(QStringLiteral("org.freedesktop.Notifications")));
    registered = true;
}

void TestNotify::hungServiceHoldsNothingUp()
{
    registerService();
    service.calls.clear();
    service.answers = false;
    // The service takes its calls on this thread's event loop: a call that waited for its
    // answer with the event loop going would find the service holding it when it returned.
    // These return before the service has them, and both arrive, unanswered.
    NotifyDesktop(QStringLiteral("PDF saved"), QStringLiteral("first"));
    QVERIFY(service.calls.isEmpty());
    NotifyDesktop(QStringLiteral("PDF saved"), QStringLiteral("second"));
    QVERIFY(service.calls.isEmpty());
    QTRY_COMPARE(service.calls.size(), 2);
    service.answers = true;
}

void TestNotify::notifies_data()
{
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");
    QTest::newRow("plain") << "PDF saved" << "/home/user/Documents/book.pdf";
    QTest::newRow("non-ASCII, two lines") << "Download ended" << "Über Bücher: 東京\nmissing pages  3 7";
}

void TestNotify::notifies()
{
    QFETCH(QString, summary);
    QFETCH(QString, body);
    registerService();
    service.calls.clear();
    NotifyDesktop(summary, body);
    QTRY_COMPARE(service.calls.size(), 1);
    const NotificationService::Call &call = service.calls.first();
    QCOMPARE(call.summary, summary);
    QCOMPARE(call.body, body);
    QCOMPARE(call.appName, QStringLiteral("Quillmoor Downloader"));
    QCOMPARE(call.appIcon, AppId());
    QCOMPARE(call.hints.value(QStringLiteral("desktop-entry")).toString(), AppId());
    QCOMPARE(call.replacesId, 0u);
    QCOMPARE(call.timeout, -1);
}

int main(int argc, char *argv[])
{
    TestEnv::useTemporaryHome();
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmoor Downloader"));
    // The bus lives as long as the test; its address is the first line it prints.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    QString address;
    if (bus.waitForStarted() && bus.waitForReadyRead(10000))
        address = QString::fromUtf8(bus.readLine()).trimmed();
    if (!address.isEmpty())
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    int result = 0;
    {
        TestNotify tc(address);
        QTEST_SET_MAIN_SOURCE_PATH
        result = QTest::qExec(&tc, argc, argv);
    }
    bus.terminate();
    bus.waitForFinished(5000);
    return result;
}

#include "tst_notify.moc"
