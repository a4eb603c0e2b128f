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
    // The loop may be left early when every loop is asked to exit (the program is quitting);
    // the deadline keeps the wait's length then.
    while (!deadline.hasExpired() && !QCoreApplication::closingDown()) {
        wake.start(int(qMax<qint64>(1, deadline.remainingTime())));
        loop.exec();
    }
}
