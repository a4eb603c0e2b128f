// outage_bench [SECONDS]
// A book of 5 pages downloaded at the real pace and with the real waits, as `--download` runs it,
// twice: once with every page image answering, once with page 3's image answering 503 for
// SECONDS (40 by default) from its first request. Prints both times, what the outage added, and
// the requests for page 3's image in the second run. Last line:
//   outage_bench: outage=S seconds_plain=X seconds_outage=Y extra=Y-X requests=N status=E

#include "browsersandbox.h"
#include "downloadoptions.h"
#include "engineprofile.h"
#include "folders.h"
#include "headlessrun.h"
#include "testenv.h"
#include "viewersite.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>
#include <QWebEngineProfile>

namespace {
double timedRun(const QString &url, QWebEngineProfile *profile, int *status)
{
    DownloadOptions options;
    options.urls << url;
    options.text = DownloadOptions::TextLayer::None;
    QElapsedTimer timer;
    timer.start();
    *status = RunDownloadsWithoutWindow(options, profile);
    return timer.nsecsElapsed() / 1e9;
}
} // namespace

int main(int argc, char *argv[])
{
    TestEnv::useTemporaryHome();
    PrepareEngineProcess();
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int outage = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 40;

    ViewerSite site;
    if (!site.start())
        return 1;
    ViewerSite::Book book;
    book.totalSeq = 5;
    book.imageRetryMs = 3600000; // the viewer never loads a failed image again by itself
    site.addBook(QStringLiteral("bench.plain"), book);
    book.outagePage = 3;
    book.outageMs = outage * 1000;
    site.addBook(QStringLiteral("bench.outage"), book);

    SetupFolders();
    QWebEngineProfile *profile = CreateEngineProfile(AppFolders().dataFolder + QStringLiteral("cef/cache"));
    int plainStatus = 0, outageStatus = 0;
    const double plain = timedRun(site.viewerUrl(QStringLiteral("bench.plain"), 1), profile, &plainStatus);
    const double withOutage = timedRun(site.viewerUrl(QStringLiteral("bench.outage"), 1), profile, &outageStatus);
    delete profile;
    out << "outage_bench: outage=" << outage << " seconds_plain=" << plain << " seconds_outage=" << withOutage
        << " extra=" << withOutage - plain << " requests=" << site.hits(site.imagePath(QStringLiteral("bench.outage"), 3))
        << " status=" << qMax(plainStatus, outageStatus) << Qt::endl;
    return plainStatus || outageStatus ? 1 : 0;
}
