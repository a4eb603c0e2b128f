// runmemory_bench [PAGES]
// The program's resident memory over a whole download of A4 colour scans served as JPEG (40
// pages by default) in the program's window with the real browser engine, against the test
// viewer site, at short page waits. VmRSS of the program's process is sampled every 100 ms
// from the Download click to the end of the run; the figures are the start, the largest, the
// mean of the first and of the last quarter of the samples (a growth per page shows there),
// and the largest while pages were captured, before the closing build.
// Last line:
//   runmemory: pages=N rss_start_mb=A rss_peak_mb=B rss_first_quarter_mb=C rss_last_quarter_mb=D seconds=S
#include "MainUnit.h"
#include "engineprofile.h"
#include "folders.h"
#include "logmemo.h"
#include "testenv.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <numeric>
#include <vector>

namespace {

QTextStream out(stdout);

// Resident memory of this process in MB, from /proc/self/status.
double residentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

double mean(const std::vector<double> &v, size_t from, size_t to)
{
    return to > from ? std::accumulate(v.begin() + from, v.begin() + to, 0.0) / double(to - from) : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::useTemporaryHome();
    PrepareEngineProcess();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int pages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 40;

    WindowFixture fixture;
    if (!fixture.startSite())
        return 1;
    ViewerSite &site = *fixture.site;
    ViewerSite::Book book;
    book.totalSeq = pages;
    book.scan = true;
    book.format = ViewerSite::Book::Format::Jpeg;
    const QString id = QStringLiteral("memory.jpeg");
    site.addBook(id, book);
    qint64 served = 0;
    for (int seq = 1; seq <= pages; ++seq)
        served += site.pageFile(id, seq).size(); // encoded before the run
    out << "served " << pages << " JPEG pages, " << served / 1e6 << " MB" << Qt::endl;
    fixture.setUp();
    if (!fixture.openWindow())
        return 1;
    TMainfm *window = fixture.window;
    fixture.typeAddress(site.viewerUrl(id, 1));
    const QString count = QStringLiteral("Total pages %1").arg(pages);
    if (!QTest::qWaitFor([&] { return window->Memo1->lines().contains(count); }, 60000))
        return 1;
    window->Controller->SetTickInterval(100); // short waits: the pages come as fast as the viewer allows

    std::vector<double> samples;
    size_t captureSamples = 0; // samples before the closing build began
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        samples.push_back(residentMb());
        if (!captureSamples && window->Memo1->lines().contains(QStringLiteral("Build pdf file, wait....")))
            captureSamples = samples.size();
        if (samples.size() % 50 == 0)
            out << "at " << samples.size() / 10 << " s: rss_mb=" << qRound(samples.back()) << " " << window->Memo1->lines().value(1) << Qt::endl;
    });
    samples.push_back(residentMb());
    sampler.start(100);
    QElapsedTimer timer;
    timer.start();
    window->downloadbtn->click();
    const bool ended = QTest::qWaitFor([&] { return window->Memo1->lines().contains(QStringLiteral("download end.")); }, 1800000);
    sampler.stop();
    const double seconds = timer.nsecsElapsed() / 1e9;
    out << window->Memo1->lines().join(QStringLiteral(" | ")) << Qt::endl;
    // The PDF against the files the site served: the pages go in as they came.
    const qint64 pdfBytes = QFileInfo(AppFolders().dataFolder + id + QStringLiteral(".pdf")).size();
    out << "pdf_bytes=" << pdfBytes << " served_bytes=" << served << " ratio=" << QString::number(double(pdfBytes) / double(served), 'f', 4) << Qt::endl;
    fixture.closeWindow();
    fixture.tearDown();
    if (!ended || samples.size() < 4) {
        out << "runmemory: the run did not end" << Qt::endl;
        return 1;
    }
    if (!captureSamples)
        captureSamples = samples.size();
    out << "capture phase: rss_peak_mb=" << qRound(*std::max_element(samples.begin(), samples.begin() + captureSamples))
        << " rss_at_build_start_mb=" << qRound(samples[captureSamples - 1]) << Qt::endl;
    const size_t quarter = samples.size() / 4;
    out << "runmemory: pages=" << pages << " rss_start_mb=" << qRound(samples.front())
        << " rss_peak_mb=" << qRound(*std::max_element(samples.begin(), samples.end()))
        << " rss_first_quarter_mb=" << qRound(mean(samples, 0, quarter))
        << " rss_last_quarter_mb=" << qRound(mean(samples, samples.size() - quarter, samples.size()))
        << " seconds=" << QString::number(seconds, 'f', 1) << Qt::endl;
    return 0;
}
