#include "stopsignals.h"
#include "testenv.h"

#include <QApplication>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include <csignal>
#include <unistd.h>

// SIGINT and SIGTERM sent to this very process, by itself and by another one.
class TestStopSignals : public QObject
{
    Q_OBJECT
private slots:
    void arrives_data();
    void arrives();
    void severalInTheirOrder();
    void previousHandlerComesBack();
    void oneObjectAtATime();
};

namespace {

volatile sig_atomic_t g_ownHandlerSaw = 0;
void ownHandler(int signalNumber)
{
    g_ownHandlerSaw = signalNumber;
}

QList<int> numbers(const QSignalSpy &spy)
{
    QList<int> list;
    for (const QList<QVariant> &arguments : spy)
        list << arguments.at(0).toInt();
    return list;
}

} // namespace

void TestStopSignals::arrives_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::addColumn<QString>("sender");
    QTest::addColumn<int>("exitStatus");

    QTest::newRow("SIGINT raised") << int(SIGINT) << "raise" << 130;
    QTest::newRow("SIGTERM raised") << int(SIGTERM) << "raise" << 143;
    QTest::newRow("SIGINT from another process") << int(SIGINT) << "kill" << 130;
    QTest::newRow("SIGTERM from another process") << int(SIGTERM) << "kill" << 143;
}

void TestStopSignals::arrives()
{
    QFETCH(int, signalNumber);
    QFETCH(QString, sender);
    QFETCH(int, exitStatus);

    StopSignals stop;
    QVERIFY(stop.isActive());
    QSignalSpy spy(&stop, &StopSignals::stopRequested);
    if (sender == QLatin1String("raise")) {
        QCOMPARE(::raise(signalNumber), 0);
    } else {
        const QStringList arguments{QStringLiteral("-%1").arg(signalNumber), QString::number(::getpid())};
        QCOMPARE(QProcess::execute(QStringLiteral("kill"), arguments), 0);
    }
    // The handler only wrote into the pipe; the Qt signal comes from the event loop.
    QVERIFY(spy.wait());
    QCOMPARE(numbers(spy), QList<int>{signalNumber});
    QCOMPARE(StopSignals::ExitStatus(signalNumber), exitStatus);
}

void TestStopSignals::severalInTheirOrder()
{
    StopSignals stop;
    QSignalSpy spy(&stop, &StopSignals::stopRequested);
    ::raise(SIGTERM);
    ::raise(SIGINT);
    ::raise(SIGTERM);
    QTRY_COMPARE(spy.count(), 3);
    QCOMPARE(numbers(spy), (QList<int>{SIGTERM, SIGINT, SIGTERM}));
}

void TestStopSignals::previousHandlerComesBack()
{
    struct sigaction own = {};
    own.sa_handler = ownHandler;
    sigemptyset(&own.sa_mask);
    struct sigaction before = {};
    QCOMPARE(::sigaction(SIGTERM, &own, &before), 0);
    g_ownHandlerSaw = 0;
    {
        StopSignals stop;
        QSignalSpy spy(&stop, &StopSignals::stopRequested);
        ::raise(SIGTERM);
        QVERIFY(spy.wait());
        QCOMPARE(g_ownHandlerSaw, 0);
    }
    ::raise(SIGTERM);
    QCOMPARE(g_ownHandlerSaw, SIGTERM);
    ::sigaction(SIGTERM, &before, nullptr);
}

void TestStopSignals::oneObjectAtATime()
{
    auto first = std::make_unique<StopSignals>();
    StopSignals second;
    QVERIFY(first->isActive());
    QVERIFY(!second.isActive());
    first.reset();
    StopSignals third;
    QVERIFY(third.isActive());
    QSignalSpy spy(&third, &StopSignals::stopRequested);
    ::raise(SIGINT);
    QVERIFY(spy.wait());
    QCOMPARE(numbers(spy), QList<int>{SIGINT});
}

QM_TEST_MAIN(TestStopSignals)
#include "tst_stopsignals.moc"
