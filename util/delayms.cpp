#include "delayms.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

void DelayMs(std::uint32_t ms)
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (ms == 0)
        return;
    QDeadlineTimer deadline(qint64(ms), Qt::PreciseTimer);
    QEventLoop loop;
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    // A nested loop may be left early when someone asks every loop to exit (the program is
    // quitting); the deadline check keeps the wait's length unless the application is gone.
    while (!deadline.hasExpired() && !QCoreApplication::closingDown()) {
        wake.start(int(qMax<qint64>(1, deadline.remainingTime())));
        loop.exec();
        if (QCoreApplication::instance() == nullptr)
            break;
    }
}
