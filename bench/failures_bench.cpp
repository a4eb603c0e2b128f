// failures_bench [RUNS]
// What failures cost a download in the program's window, at the real pace, against the test
// viewer site:
// - recovery: the browser's page process is killed once page 2 of 5 is stored; the time from
//   its death to page 3 stored, RUNS times (5 by default), with their median;
// - another origin: a book whose page images come from another host; the requests each image
//   cost beyond the viewer's own;
// - damaged: a book whose page 2 the site sends damaged; the time from the first try of page 2
//   to its being given up.
// Last line:
//   failures_bench: recovery_median=S recovery_max=S foreign_extra_requests=N damaged_given_up=S

#include "MainUnit.h"
#include "chromium.h"
#include "downloadcontroller.h"
#include "engineprofile.h"
#include "logmemo.h"
#include "testenv.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTextStream>
#include <algorithm>
#include <csignal>

namespace {

bool download(WindowFixture &fixture, const QString &id, int pages, const std::function<void(const RunEvent &)> &watch)
{
    if (!fixture.openViewer(id, 1, pages))
        return false;
    const QMetaObject::Connection c = QObject::connect(fixture.window->Controller, &TDownloadController::Event, watch);
    fixture.window->downloadbtn->click();
    const bool ended = fixture.waitForEnd(600000);
    QObject::disconnect(c);
    return ended;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::useTemporaryHome();
    PrepareEngineProcess();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QTextStream out(stdout);
    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 5;

    WindowFixture fixture;
    if (!fixture.startSite())
        return 1;
    ViewerSite &site = *fixture.site;
    ViewerSite::Book book;
    book.totalSeq = 5;
    for (int run = 0; run < runs; ++run)
        site.addBook(QStringLiteral("bench.kill%1").arg(run), book);
    ViewerSite foreign;
    if (!foreign.start())
        return 1;
    book.imageOrigin = foreign.url(QString());
    site.addBook(QStringLiteral("bench.foreign"), book);
    ViewerSite::Book damaged;
    damaged.totalSeq = 3;
    damaged.imageRetryMs = 3600000;
    damaged.faultyPage = 2;
    damaged.fault = ViewerSite::Book::Fault::Damaged;
    site.addBook(QStringLiteral("bench.damaged"), damaged);
    fixture.setUp();
    if (!fixture.openWindow())
        return 1;
    TMainfm *window = fixture.window;

    QList<double> recoveries;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer sinceDeath;
        const bool ended = download(fixture, QStringLiteral("bench.kill%1").arg(run), 5, [&](const RunEvent &event) {
            const auto *stored = std::get_if<RunEvents::PageStored>(&event);
            if (stored && stored->page == 2 && !sinceDeath.isValid()) {
                ::kill(pid_t(window->chm->PageProcessId()), SIGKILL);
                sinceDeath.start();
            } else if (stored && stored->page == 3 && sinceDeath.isValid()) {
                recoveries << sinceDeath.nsecsElapsed() / 1e9;
            }
        });
        if (!ended || recoveries.size() != run + 1) {
            out << "failures_bench: run " << run << " did not recover: " << fixture.log() << Qt::endl;
            return 1;
        }
        out << "recovery " << run + 1 << ": " << recoveries.last() << " s" << Qt::endl;
    }

    if (!download(fixture, QStringLiteral("bench.foreign"), 5, [](const RunEvent &) {}))
        return 1;
    int extra = 0;
    for (int seq = 1; seq <= 5; ++seq)
        extra = qMax(extra, foreign.hits(foreign.imagePath(QStringLiteral("bench.foreign"), seq)) - 1);

    QElapsedTimer sinceFirstTry;
    double givenUp = -1;
    download(fixture, QStringLiteral("bench.damaged"), 3, [&](const RunEvent &event) {
        if (const auto *loading = std::get_if<RunEvents::LoadingPage>(&event); loading && loading->page == 2 && !sinceFirstTry.isValid())
            sinceFirstTry.start();
        if (const auto *given = std::get_if<RunEvents::PageGivenUp>(&event); given && given->page == 2 && givenUp < 0)
            givenUp = sinceFirstTry.nsecsElapsed() / 1e9;
    });
    fixture.closeWindow();
    fixture.tearDown();

    std::sort(recoveries.begin(), recoveries.end());
    out << "failures_bench: recovery_median=" << recoveries.at(recoveries.size() / 2) << " recovery_max=" << recoveries.last()
        << " foreign_extra_requests=" << extra << " damaged_given_up=" << givenUp << Qt::endl;
    return 0;
}
