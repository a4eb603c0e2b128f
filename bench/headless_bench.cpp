// headless_bench window|headless [PAGES]
// One download of a book (10 pages by default) at the real one-second pace against the test
// viewer site, in the program's window or without one (as `--download` runs it), timed from the
// start of the download to its end. Run each mode as a process of its own to compare their
// time and peak resident memory. Last line:
//   headless_bench: mode=M pages=N seconds=X

#include "MainUnit.h"
#include "browsersandbox.h"
#include "downloadoptions.h"
#include "engineprofile.h"
#include "folders.h"
#include "headlessrun.h"
#include "logmemo.h"
#include "testenv.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTextStream>
#include <QWebEngineProfile>

int main(int argc, char *argv[])
{
    TestEnv::useTemporaryHome();
    PrepareEngineProcess();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTextStream out(stdout);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("headless");
    const int pages = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 10;

    WindowFixture fixture;
    if (!fixture.startSite())
        return 1;
    ViewerSite &site = *fixture.site;
    ViewerSite::Book book;
    book.totalSeq = pages;
    site.addBook(QStringLiteral("bench.book"), book);
    const QString url = site.viewerUrl(QStringLiteral("bench.book"), 1);

    QElapsedTimer timer;
    if (mode == QLatin1String("window")) {
        fixture.setUp();
        if (!fixture.openWindow())
            return 1;
        TMainfm *window = fixture.window;
        if (window->searchablebox->isChecked())
            window->searchablebox->click();
        fixture.typeAddress(url);
        if (!QTest::qWaitFor([&] { return window->Memo1->lines().contains(QStringLiteral("Total pages %1").arg(pages)); }, 60000))
            return 1;
        timer.start();
        window->downloadbtn->click();
        if (!QTest::qWaitFor([&] { return window->Memo1->lines().contains(QStringLiteral("download end.")); }, 900000))
            return 1;
        const qint64 ns = timer.nsecsElapsed();
        fixture.closeWindow();
        fixture.tearDown();
        out << "headless_bench: mode=window pages=" << pages << " seconds=" << ns / 1e9 << Qt::endl;
        return 0;
    }
    SetupFolders();
    QWebEngineProfile *profile = CreateEngineProfile(AppFolders().dataFolder + QStringLiteral("cef/cache"));
    DownloadOptions options;
    options.urls << url;
    options.text = DownloadOptions::TextLayer::None;
    // Timed from the opening of the book, which the window's run had done before its click.
    timer.start();
    const int status = RunDownloadsWithoutWindow(options, profile);
    const qint64 ns = timer.nsecsElapsed();
    delete profile;
    out << "headless_bench: mode=headless pages=" << pages << " seconds=" << ns / 1e9 << " status=" << status << Qt::endl;
    return status;
}
