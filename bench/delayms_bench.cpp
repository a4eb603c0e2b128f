// How much processor time the event-pumping wait costs: 20 waits of 100 ms, the pattern of a
// script wait, with a timer ticking every 10 ms so events keep arriving during the wait.
#include "delayms.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QTextStream>
#include <ctime>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpuStart = std::clock();
    for (int i = 0; i < 20; ++i)
        DelayMs(100);
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double seconds = wall.elapsed() / 1000.0;
    QTextStream(stdout) << "delayms: wall_s=" << seconds << " cpu_s=" << cpu << " cpu_share=" << cpu / seconds
                        << " events=" << ticks << "\n";
    return 0;
}
