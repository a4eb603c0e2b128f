// Page capture in the real browser: the program's window on the test viewer site captures the
// page on display, a grainy colour scan at two sizes served as PNG and A4 served as JPEG, five
// times each. For every capture: the
// wall time from the page script's start to the page stored, the report's length, and where
// the processor time went -- the program's process while it waits for the report (it waits on
// events, so this should be little more than receiving the report), the program's GUI thread
// in that wait, storing the page once the report is in, and the renderer process that runs
// the page script.
#include "MainUnit.h"
#include "chromium.h"
#include "downloadcontroller.h"
#include "engineprofile.h"
#include "testenv.h"
#include "vbooks.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QTextStream>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <pthread.h>
#include <thread>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int CapturesPerSize = 5;
constexpr int SetupTimeoutMs = 120000;
constexpr int CaptureTimeoutMs = 180000;

QTextStream out(stdout);

double ms(const timeval &t)
{
    return t.tv_sec * 1000.0 + t.tv_usec / 1000.0;
}

// Processor time (user + system, ms) of the whole program process, or of the calling thread.
double processCpuMs(int who = RUSAGE_SELF)
{
    rusage usage{};
    getrusage(who, &usage);
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// Samples, every 10 ms on a thread of its own, the processor time of the program and of its
// GUI thread (the one that waits), so that the part of a wait before the report comes can be
// told from receiving the report. The sampler's own time is taken out.
class CpuSampler
{
public:
    struct Point
    {
        double atMs, processMs, guiMs;
    };

    explicit CpuSampler(std::chrono::steady_clock::time_point origin) : m_origin(origin)
    {
        pthread_getcpuclockid(pthread_self(), &m_gui);
        m_thread = std::thread([this] { run(); });
    }
    std::vector<Point> stop()
    {
        m_stop = true;
        m_thread.join();
        return std::move(m_points);
    }

private:
    static double cpuMs(clockid_t clock)
    {
        timespec t{};
        clock_gettime(clock, &t);
        return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
    }
    void run()
    {
        while (!m_stop) {
            const double at = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_origin).count();
            m_points.push_back({at, cpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpuMs(CLOCK_THREAD_CPUTIME_ID), cpuMs(m_gui)});
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::chrono::steady_clock::time_point m_origin;
    clockid_t m_gui{};
    std::atomic<bool> m_stop{false};
    std::vector<Point> m_points;
    std::thread m_thread;
};

// The browser engine's helper processes are children (and grandchildren, through the zygote)
// of the program; their processor time is only seen in /proc.
struct HelperCpu
{
    double rendererMs = 0;   // the renderer processes
    double allMs = 0;        // every helper process
    int renderers = 0;
};

QByteArray readProcFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

HelperCpu helperCpu()
{
    static const double tickMs = 1000.0 / double(sysconf(_SC_CLK_TCK));
    struct Proc { qint64 ppid; double cpuMs; bool renderer; };
    QHash<qint64, Proc> procs;
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &name : pids) {
        bool isPid = false;
        const qint64 pid = name.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QByteArray stat = readProcFile(QStringLiteral("/proc/%1/stat").arg(pid));
        // Fields after the command name (which may hold spaces) in parentheses: state ppid ...;
        // utime and stime are fields 14 and 15 of the whole line.
        const int close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() < 13)
            continue;
        const double cpu = (fields.at(11).toDouble() + fields.at(12).toDouble()) * tickMs;
        procs.insert(pid, {fields.at(1).toLongLong(), cpu, false});
    }
    HelperCpu total;
    const qint64 self = getpid();
    // The zygotes are the program's children; the renderers are forked by a zygote and keep
    // its command line, so they are the helpers whose parent is a helper.
    for (auto it = procs.begin(); it != procs.end(); ++it)
        it->renderer = it->ppid != self && procs.value(it->ppid, Proc{0, 0, false}).ppid == self;
    for (auto it = procs.cbegin(); it != procs.cend(); ++it) {
        qint64 parent = it->ppid;
        for (int depth = 0; depth < 8 && parent > 1 && parent != self; ++depth)
            parent = procs.value(parent, Proc{0, 0, false}).ppid;
        if (parent != self || it.key() == self)
            continue;
        total.allMs += it->cpuMs;
        if (it->renderer) {
            total.rendererMs += it->cpuMs;
            ++total.renderers;
        }
    }
    return total;
}

// Runs the event loop until ready() says so or the deadline passes; start() is called once
// and again every retryMs (for checks that are asked of the page and answered later). A
// ready() that comes after the wait has ended does nothing.
bool waitForEvents(const std::function<void(const std::function<void()> &ready)> &start, int timeoutMs, int retryMs = 0)
{
    struct State
    {
        bool done = false;
        QEventLoop *loop = nullptr;
    };
    QEventLoop loop;
    const auto state = std::make_shared<State>();
    state->loop = &loop;
    const std::function<void()> ready = [state] {
        state->done = true;
        if (state->loop)
            state->loop->quit();
    };
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    QTimer retry;
    if (retryMs > 0) {
        QObject::connect(&retry, &QTimer::timeout, &loop, [&] { start(ready); });
        retry.start(retryMs);
    }
    start(ready);
    if (!state->done)
        loop.exec();
    state->loop = nullptr;
    return state->done;
}

bool pageImageComplete(TMainfm *window)
{
    QWebEnginePage *page = window->chm->View()->page();
    return waitForEvents([page](const std::function<void()> &ready) {
        page->runJavaScript(QStringLiteral("document.getElementById('page').complete && document.getElementById('page').naturalWidth > 0"),
                            [ready](const QVariant &complete) { if (complete.toBool()) ready(); });
    }, SetupTimeoutMs, 100);
}

bool bookIdentified(TMainfm *window, const QString &id)
{
    return waitForEvents([window, id](const std::function<void()> &ready) {
        if (window->Book->id == id)
            ready();
    }, SetupTimeoutMs, 50);
}

struct Capture
{
    double wallMs = 0;          // page script start to page stored
    double reportMs = 0;        // page script start to the report in the program
    qsizetype chars = 0;
    double waitCpuMs = 0;       // program process, start to report in
    double waitGuiCpuMs = 0;    // the program's GUI thread, start to report in
    double firstHalfMs = 0;     // the first half of the wait, while the page works on its report
    double firstHalfCpuMs = 0;  // program process in it
    double firstHalfGuiCpuMs = 0; // the GUI thread in it
    double storeCpuMs = 0;      // program process, report in to page stored
    double rendererCpuMs = 0;   // renderer process(es), start to page stored
    double helpersCpuMs = 0;    // every helper process, start to page stored
};

struct Sample
{
    double wallMs, cpuMs, guiCpuMs;
};

bool capture(TMainfm *window, Capture *result)
{
    QElapsedTimer clock;
    Sample reportIn{-1, 0, 0};
    qsizetype reportChars = 0; // the report is not kept once its page is stored
    // Connected after the download task's own handler, so this runs once the report is taken.
    const QMetaObject::Connection watch = QObject::connect(window->chm, &IBrowser::ConsoleMessage, [&](const QString &text) {
        if (reportIn.wallMs < 0 && text.startsWith(QLatin1String("###page"))) {
            reportIn = {double(clock.nsecsElapsed()) / 1e6, processCpuMs(), processCpuMs(RUSAGE_THREAD)};
            reportChars = text.size() - qsizetype(sizeof "###page=" - 1);
        }
    });

    bool stored = false;
    QString error;
    Sample end{};
    const HelperCpu helpersStart = helperCpu();
    const double cpuStart = processCpuMs();
    const double guiCpuStart = processCpuMs(RUSAGE_THREAD);
    const auto origin = std::chrono::steady_clock::now();
    CpuSampler sampler(origin);
    const bool ended = waitForEvents([&](const std::function<void()> &ready) {
        clock.start();
        window->Controller->savepage([&, ready](const CaptureResult &result) {
            end = {double(clock.nsecsElapsed()) / 1e6, processCpuMs(), processCpuMs(RUSAGE_THREAD)};
            stored = result.stored;
            error = result.error;
            ready();
        });
    }, CaptureTimeoutMs);
    const std::vector<CpuSampler::Point> points = sampler.stop();
    const HelperCpu helpersEnd = helperCpu();
    QObject::disconnect(watch);
    if (!ended || !stored || !error.isEmpty() || reportIn.wallMs < 0) {
        out << "capture failed: ended=" << ended << " stored=" << stored << " error=" << error << Qt::endl;
        return false;
    }
    result->wallMs = end.wallMs;
    result->reportMs = reportIn.wallMs;
    result->chars = reportChars;
    result->waitCpuMs = reportIn.cpuMs - cpuStart;
    result->waitGuiCpuMs = reportIn.guiCpuMs - guiCpuStart;
    result->storeCpuMs = end.cpuMs - reportIn.cpuMs;
    result->rendererCpuMs = helpersEnd.rendererMs - helpersStart.rendererMs;
    result->helpersCpuMs = helpersEnd.allMs - helpersStart.allMs;
    if (helpersEnd.renderers == 0)
        result->rendererCpuMs = -1;
    // Samples are times since origin, taken just before the clock started.
    const double half = reportIn.wallMs / 2;
    const auto last = std::find_if(points.rbegin(), points.rend(), [half](const CpuSampler::Point &p) { return p.atMs <= half; });
    if (points.size() > 1 && last != points.rend()) {
        result->firstHalfMs = last->atMs - points.front().atMs;
        result->firstHalfCpuMs = last->processMs - points.front().processMs;
        result->firstHalfGuiCpuMs = last->guiMs - points.front().guiMs;
    }
    return true;
}

template<typename T>
double median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? double(values[n / 2]) : (double(values[n / 2 - 1]) + double(values[n / 2])) / 2;
}

QString oneDecimal(double value)
{
    return QString::number(value, 'f', 1);
}

QString loadAverage()
{
    return QString::fromLatin1(readProcFile(QStringLiteral("/proc/loadavg"))).section(QLatin1Char(' '), 0, 2);
}

// The program's processor time over a second of doing nothing with the page shown: what the
// window costs by itself, to set the waits' figures against.
double idleCpuMsPerSecond()
{
    const double start = processCpuMs();
    waitForEvents([](const std::function<void()> &) {}, 1000);
    return processCpuMs() - start;
}

struct Size
{
    QString id;
    QSize pixels;
    ViewerSite::Book::Format format = ViewerSite::Book::Format::Png;
    QString key() const
    {
        return QStringLiteral("%1x%2%3").arg(pixels.width()).arg(pixels.height())
            .arg(format == ViewerSite::Book::Format::Jpeg ? QStringLiteral("_jpeg") : QString());
    }
};

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::useTemporaryHome(); // also the offscreen platform, unless one is set
    PrepareEngineProcess();      // the browser sandbox as the program has it
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    // The site's PNG scans, and A4 scans served as JPEG (quality 85) as libraries serve them.
    // "capture_bench jpeg" measures the JPEG scans alone.
    std::vector<Size> sizes{{QStringLiteral("bench.medium"), QSize(1700, 2400)},
                            {QStringLiteral("bench.a4"), QSize(2480, 3508)},
                            {QStringLiteral("bench.a4jpeg"), QSize(2480, 3508), ViewerSite::Book::Format::Jpeg}};
    if (argc > 1 && QByteArray(argv[1]) == "jpeg")
        sizes.erase(sizes.begin(), sizes.begin() + 2);
    WindowFixture fixture;
    if (!fixture.startSite()) {
        out << "capture_bench: the viewer site did not start" << Qt::endl;
        return 1;
    }
    ViewerSite &site = *fixture.site;
    for (const Size &size : sizes) {
        ViewerSite::Book book;
        book.scan = true;
        book.scanSize = size.pixels;
        book.format = size.format;
        site.addBook(size.id, book);
        site.pageFile(size.id, 1); // encoded before the window asks for it
    }
    fixture.setUp();
    if (!fixture.openWindow()) {
        out << "capture_bench: the window did not open" << Qt::endl;
        return 1;
    }
    TMainfm *window = fixture.window;
    window->Controller->Settings.captureTimeoutMs = CaptureTimeoutMs;
    out << "load average at start: " << loadAverage() << ", cores: " << sysconf(_SC_NPROCESSORS_ONLN) << Qt::endl;

    QStringList last;
    double worstWaitCpu = 0;
    for (const Size &size : sizes) {
        if (!fixture.loadAndWait(site.viewerUrl(size.id, 1)) || !bookIdentified(window, size.id) || !pageImageComplete(window)) {
            out << "capture_bench: the page of " << size.id << " did not load" << Qt::endl;
            return 1;
        }
        window->Book->setWorking(true);
        out << size.key() << ": idle program cpu " << oneDecimal(idleCpuMsPerSecond()) << " ms/s, load average " << loadAverage() << Qt::endl;
        std::vector<Capture> captures;
        for (int i = 0; i < CapturesPerSize; ++i) {
            Capture c;
            if (!capture(window, &c))
                return 1;
            captures.push_back(c);
            out << size.key() << " #" << i + 1 << ": wall_ms=" << qRound(c.wallMs) << " report_in_ms=" << qRound(c.reportMs)
                << " chars=" << c.chars << " program_cpu_wait_ms=" << qRound(c.waitCpuMs)
                << " gui_thread_cpu_wait_ms=" << qRound(c.waitGuiCpuMs) << " first_half_ms=" << qRound(c.firstHalfMs)
                << " program_cpu_first_half_ms=" << oneDecimal(c.firstHalfCpuMs)
                << " gui_thread_cpu_first_half_ms=" << oneDecimal(c.firstHalfGuiCpuMs)
                << " program_cpu_store_ms=" << qRound(c.storeCpuMs)
                << " renderer_cpu_ms=" << qRound(c.rendererCpuMs) << " helpers_cpu_ms=" << qRound(c.helpersCpuMs) << Qt::endl;
        }
        window->Book->setWorking(false);
        auto of = [&](auto member) {
            std::vector<double> v;
            for (const Capture &c : captures)
                v.push_back(double(c.*member));
            return median(v);
        };
        const double waitCpu = of(&Capture::waitCpuMs);
        worstWaitCpu = std::max(worstWaitCpu, waitCpu);
        out << size.key() << " median: wall_ms=" << qRound(of(&Capture::wallMs)) << " report_in_ms=" << qRound(of(&Capture::reportMs))
            << " chars=" << qRound64(of(&Capture::chars)) << " program_cpu_wait_ms=" << qRound(waitCpu)
            << " gui_thread_cpu_wait_ms=" << qRound(of(&Capture::waitGuiCpuMs))
            << " program_cpu_first_half_ms=" << oneDecimal(of(&Capture::firstHalfCpuMs))
            << " gui_thread_cpu_first_half_ms=" << oneDecimal(of(&Capture::firstHalfGuiCpuMs))
            << " program_cpu_store_ms=" << qRound(of(&Capture::storeCpuMs))
            << " renderer_cpu_ms=" << qRound(of(&Capture::rendererCpuMs)) << " load average " << loadAverage() << Qt::endl;
        // Report characters per byte of the file the site served.
        const double perByte = of(&Capture::chars) / double(site.pageFile(size.id, 1).size());
        out << size.key() << " file_bytes=" << site.pageFile(size.id, 1).size() << " chars_per_file_byte=" << QString::number(perByte, 'f', 3) << Qt::endl;
        last << QStringLiteral("ms_%1=%2").arg(size.key()).arg(qRound(of(&Capture::wallMs)))
             << QStringLiteral("chars_%1=%2").arg(size.key()).arg(qRound64(of(&Capture::chars)))
             << QStringLiteral("chars_per_byte_%1=%2").arg(size.key(), QString::number(perByte, 'f', 3));
    }
    fixture.closeWindow();
    fixture.tearDown();
    // The waits' figure is the larger of the two sizes' medians of the whole wait, receiving
    // the report included; the first-half figures above show the wait before it.
    out << "capture_bench: " << last.join(QLatin1Char(' ')) << " cpu_ms_waiting=" << qRound(worstWaitCpu) << Qt::endl;
    return 0;
}
