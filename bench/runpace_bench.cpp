// runpace_bench [PAGES]
// A whole download at the real one-second pacing in the program's window and the real browser
// engine, against the test viewer site with pages of printed text (10 pages by default):
// once with "Searchable PDF" off and once with it on, timed from the Download click to the end
// of the run. Recognition reads each page while the run waits for the next one, so the two
// should take the same time. Last line:
//   runpace: pages=N seconds_plain=X seconds_searchable=Y ratio=Y/X
#include "MainUnit.h"
#include "engineprofile.h"
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

namespace {

QTextStream out(stdout);

// Seconds from the Download click to "download end.", or a negative number on failure.
double timedRun(WindowFixture &fixture, ViewerSite &site, const QString &id, bool searchable, int pages)
{
    TMainfm *window = fixture.window;
    if (window->searchablebox->isChecked() != searchable)
        window->searchablebox->click();
    fixture.typeAddress(site.viewerUrl(id, 1));
    const QString count = QStringLiteral("Total pages %1").arg(pages);
    if (!QTest::qWaitFor([&] { return window->Memo1->lines().contains(count); }, 60000))
        return -1;
    QElapsedTimer timer;
    timer.start();
    window->downloadbtn->click();
    if (!QTest::qWaitFor([&] { return window->Memo1->lines().contains(QStringLiteral("download end.")); }, 600000))
        return -1;
    const double seconds = timer.nsecsElapsed() / 1e9;
    out << (searchable ? "searchable" : "plain") << ": " << seconds << " s; " << window->Memo1->lines().join(QStringLiteral(" | "))
        << Qt::endl;
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    TestEnv::useTemporaryHome();
    PrepareEngineProcess();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const int pages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 10;

    WindowFixture fixture;
    if (!fixture.startSite())
        return 1;
    ViewerSite &site = *fixture.site;
    ViewerSite::Book book;
    book.totalSeq = pages;
    book.text = true;
    site.addBook(QStringLiteral("pace.plain"), book);
    site.addBook(QStringLiteral("pace.searchable"), book);
    fixture.setUp();
    if (!fixture.openWindow())
        return 1;
    const double plain = timedRun(fixture, site, QStringLiteral("pace.plain"), false, pages);
    const double searchable = timedRun(fixture, site, QStringLiteral("pace.searchable"), true, pages);
    fixture.closeWindow();
    fixture.tearDown();
    if (plain <= 0 || searchable <= 0) {
        out << "runpace: a run did not end" << Qt::endl;
        return 1;
    }
    out << "runpace: pages=" << pages << " seconds_plain=" << plain << " seconds_searchable=" << searchable
        << " ratio=" << searchable / plain << Qt::endl;
    return 0;
}
