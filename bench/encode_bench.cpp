// encode_bench PAGEFOLDER [COUNT [THREADS]]
// Times the PDF engine library's image encoder alone: loads the page files 0001.jpg ... of
// a folder (as makepages writes them) with the program's page loader, then encodes each one
// through PDFE_EncodeImage on one thread and checks nothing failed. Prints milliseconds per
// page (wall and processor), the PDF bytes and their ratio to the decoded pixels, and the
// heap's peak during encoding against the page's own pixels. With THREADS above 1 the pages
// are then encoded again on that many threads at once, as the program's page pipeline does,
// and the pages per second of that are printed too.
#include "heapmeter.h"
#include "pagebitmap.h"
#include "pdfe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

// The calling thread's processor time: the machine is shared, so wall time alone would
// count other programs' work.
double threadMilliseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Bytes of an encoded image and its soft mask, read back from the library's result.
std::size_t encodedBytes(void *image)
{
    // The image's layout is the library's; the bench only needs its size, so it asks the
    // library to place it in a throwaway document instead of looking inside.
    char path[] = "/tmp/encode_bench.XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0)
        return 0;
    close(fd);
    void *engine = PDFE_Initialize(0, 0, 0, 1, nullptr, nullptr);
    PDFE_Action(engine, PDFE_BEGINDOC, 0, path);
    TPDFE_InitRec page{};
    page.pagew = page.pageh = 100;
    PDFE_InitializePage(engine, 0, &page);
    PDFE_Action(engine, PDFE_STARTPAGE, 0, nullptr);
    TPDFE_DrawRec draw{};
    draw.w = draw.h = 100;
    draw.bitmap = static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(image));
    PDFE_Action(engine, PDFE_DRAWIMAGE, 0, &draw);
    PDFE_Action(engine, PDFE_ENDPAGE, 0, nullptr);
    PDFE_Action(engine, PDFE_ENDDOC, 0, nullptr);
    PDFE_Action(engine, PDFE_WRITEDOC, 0, path);
    PDFE_Finalize(engine);
    const std::size_t size = std::size_t(QFileInfo(QString::fromLocal8Bit(path)).size());
    std::remove(path);
    return size;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    if (argc < 2) {
        err << "usage: encode_bench PAGEFOLDER [COUNT [THREADS]]\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    QStringList files = folder.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    if (argc > 2)
        files = files.mid(0, QString::fromLocal8Bit(argv[2]).toInt());
    if (files.isEmpty()) {
        err << "no page files in " << folder.path() << "\n";
        return 2;
    }
    std::vector<std::unique_ptr<PageBitmap>> bitmaps;
    for (const QString &name : files) {
        bitmaps.push_back(LoadPageBitmap(folder.filePath(name)));
        if (!bitmaps.back()) {
            err << name << ": not a page file\n";
            return 1;
        }
    }
    const int threads = argc > 3 ? std::max(1, QString::fromLocal8Bit(argv[3]).toInt()) : 1;

    double milliseconds = 0, cpuMilliseconds = 0, rawBytes = 0, worstPeakRatio = 0;
    std::size_t bytes = 0;
    for (const auto &bitmap : bitmaps) {
        const PDFE_Bitmap handle = bitmap->handle();
        const double raw = bitmap->pixels ? double(handle.bytesPerRow) * handle.height : double(bitmap->jpeg.size());
        char error[256] = {};
        ResetHeapPeak();
        const std::size_t before = HeapInUse();
        QElapsedTimer timer;
        timer.start();
        const double cpuStart = threadMilliseconds();
        void *image = PDFE_EncodeImage(&handle, error, sizeof error);
        cpuMilliseconds += threadMilliseconds() - cpuStart;
        milliseconds += timer.nsecsElapsed() / 1e6;
        if (!image) {
            err << error << "\n";
            return 1;
        }
        worstPeakRatio = std::max(worstPeakRatio, double(HeapPeak() - before) / raw);
        bytes += encodedBytes(image);
        rawBytes += raw;
        PDFE_FreeImage(image);
    }

    double parallelPagesPerSecond = 0;
    if (threads > 1) {
        std::atomic<std::size_t> next{0};
        std::atomic<bool> failed{false};
        QElapsedTimer timer;
        timer.start();
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([&] {
                for (std::size_t i = next++; i < bitmaps.size(); i = next++) {
                    const PDFE_Bitmap handle = bitmaps[i]->handle();
                    void *image = PDFE_EncodeImage(&handle, nullptr, 0);
                    failed = failed || !image;
                    PDFE_FreeImage(image);
                }
            });
        for (std::thread &worker : workers)
            worker.join();
        if (failed)
            return 1;
        parallelPagesPerSecond = double(bitmaps.size()) / (timer.nsecsElapsed() / 1e9);
        out << threads << " threads: " << parallelPagesPerSecond << " pages per second\n";
    }
    const int pages = int(files.size());
    out << "pages " << pages << ", ms per page " << milliseconds / pages << " (processor " << cpuMilliseconds / pages
        << "), PDF bytes " << bytes << " ("
        << bytes / rawBytes << " of the pixels), encoder heap peak " << worstPeakRatio << "x the page's pixels\n";
    out << "encode_bench: kind=" << folder.dirName() << " ms_per_page=" << milliseconds / pages
        << " cpu_ms_per_page=" << cpuMilliseconds / pages << " bytes=" << bytes << " threads=" << threads
        << " pages_per_second=" << (threads > 1 ? parallelPagesPerSecond : 1000.0 * pages / milliseconds)
        << " heap_peak_ratio=" << worstPeakRatio << "\n";
    return 0;
}
