// ocrstop_bench [--600dpi] [DELAY_MS ...]
// How soon a recognition in progress ends once it is told to stop, which is how long closing
// the window waits for it: a generated A4 page at 300 dpi (or 600) full of small print is recognised
// on a thread, stopped after each given delay (default 250, 1000, 3000 ms), and the time from
// the stop to the thread's end is printed (and the processor time the thread took in it, as
// the machine may be busy with other work); first the page's whole recognition time. The
// recogniser is the same throughout, its model loaded, as for the pages of a run.
#include "apperror.h"
#include "folders.h"
#include "ocrrecognizer.h"
#include "ocrstore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <pthread.h>
#include <thread>

namespace {

const QStringList Lines = {
    QStringLiteral("The river ran quietly past the old mill where the miller kept"),
    QStringLiteral("his books and ledgers, counting every sack of flour by candlelight."),
    QStringLiteral("Winter came early that year to the valley, and a letter from the"),
    QStringLiteral("harbour arrived on Tuesday morning with news of the merchant ships."),
};

QImage BusyPage(int scale)
{
    QImage image(2480 * scale, 3508 * scale, QImage::Format_RGB888);
    image.fill(QColor(244, 236, 216));
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(30 * scale);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (int row = 0; row < 75; ++row)
        painter.drawText(120 * scale, (160 + row * 44) * scale, Lines[row % Lines.size()]);
    return image;
}

// Processor time a thread has used so far.
double ThreadCpuMs(pthread_t thread)
{
    clockid_t clock;
    timespec t{};
    if (pthread_getcpuclockid(thread, &clock) != 0 || clock_gettime(clock, &t) != 0)
        return 0;
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    LimitOcrThreads();
    QGuiApplication app(argc, argv);
    SetupProgramFolder();
    QTextStream out(stdout);
    QList<int> delays;
    int scale = 1;
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]) == "--600dpi")
            scale = 2;
        else
            delays << std::max(0, QString::fromLocal8Bit(argv[i]).toInt());
    }
    if (delays.isEmpty())
        delays = {250, 1000, 3000};

    QTemporaryDir scratch;
    const QString file = scratch.filePath(QStringLiteral("0001.jpg"));
    if (!BusyPage(scale).save(file, "PNG"))
        return 1;
    try {
        OcrRecognizer recognizer;
        QElapsedTimer whole;
        whole.start();
        const OcrPage page = recognizer.Recognize(file, QStringLiteral("eng"));
        const qint64 wholeMs = whole.elapsed();
        out << "whole page: " << wholeMs << " ms, " << page.words.size() << " words" << Qt::endl;

        qint64 worst = 0;
        double worstCpu = 0;
        for (int delay : delays) {
            // The model stays loaded, as in a run, where one recogniser reads page after page.
            OcrRecognizer &own = recognizer;
            std::atomic_bool stop = false;
            bool stopped = false;
            double cpuAtEnd = 0;
            std::thread worker([&] {
                try {
                    LoadOrRecognize(file, QStringLiteral("eng"), own, &stop);
                } catch (const OcrStopped &) {
                    stopped = true;
                }
                cpuAtEnd = ThreadCpuMs(pthread_self());
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            QElapsedTimer sinceStop;
            sinceStop.start();
            const double cpuAtStop = ThreadCpuMs(worker.native_handle());
            stop = true;
            worker.join();
            const qint64 ms = sinceStop.elapsed();
            worst = std::max(worst, ms);
            worstCpu = std::max(worstCpu, cpuAtEnd - cpuAtStop);
            out << "stopped after " << delay << " ms: ended " << ms << " ms later (" << qint64(cpuAtEnd - cpuAtStop)
                << " ms of its processor time)" << (stopped ? "" : " (had finished)")
                << ", result kept: " << (QFile::exists(OcrResultPath(file)) ? "yes" : "no") << Qt::endl;
        }
        out << "ocrstop_bench: whole_ms=" << wholeMs << " worst_stop_ms=" << worst << " worst_stop_cpu_ms=" << qint64(worstCpu)
            << Qt::endl;
    } catch (const AppError &e) {
        out << e.message() << Qt::endl;
        return 1;
    }
    return 0;
}
