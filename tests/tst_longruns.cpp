// Long runs in the window, in the real browser against the test site: a site that stumbles,
// a run that goes on where the book stopped, pages tried once more, Stop during a wait, page
// ranges from the window's boxes.

#include "MainUnit.h"
#include "chromium.h"
#include "downloadcontroller.h"
#include "runevents.h"
#include "folders.h"
#include "bookqueue.h"
#include "logmemo.h"
#include "queuepanel.h"
#include "pagefile.h"
#include "pdfcheck.h"
#include "testenv.h"
#include "vbooks.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>
#include <csignal>

using namespace std::chrono_literals;

class TestLongRuns : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void outageIsWaitedOut_data();
    void outageIsWaitedOut();
    void secondPassRecoversAPage();
    void stopEndsAWait();
    void goesOnAfterARestart();
    void rangeFromTheBoxes_data();
    void rangeFromTheBoxes();
    void queueKeptAcrossARestart();
    void finishedRowRemovedWhileTheQueueRuns();
    void rightPanelControlsNeverOverlap();
    void damagedImageIsGivenUpWithoutWaits();
    void pageProcessKilledInMidRun();

private:
    void openViewer(const QString &id, int seq, int total) { QVERIFY2(fixture.openViewer(id, seq, total), qPrintable(log())); }
    void waitForEnd() { QVERIFY2(fixture.waitForEnd(), qPrintable(log())); }
    QString log() const { return fixture.log(); }
    QPushButton *queueButton(const char *name) const { return window->QueuePanel->findChild<QPushButton *>(QLatin1String(name)); }
    QTreeWidget *queueList() const { return window->QueuePanel->findChild<QTreeWidget *>(QStringLiteral("queuelist")); }
    int pdfPages(const QString &name) const { return int(PdfCheck::pageSizes(AppFolders().dataFolder + name).size()); }

    WindowFixture fixture;
    ViewerSite *site = nullptr;
    TMainfm *window = nullptr;
    QStringList &errors = fixture.errors;
};

void TestLongRuns::initTestCase()
{
    QVERIFY(fixture.startSite());
    site = fixture.site;
    ViewerSite::Book book;
    book.totalSeq = 3;
    book.imageRetryMs = 3600000; // the viewer itself never loads a failed image again
    book.outagePage = 2;
    book.outageMs = 2500;
    site->addBook(QStringLiteral("long.outage"), book);
    book.retryAfterSeconds = 3;
    site->addBook(QStringLiteral("long.retryafter"), book);
    site->addBook(QStringLiteral("long.layout"), book);
    ViewerSite::Book damaged;
    damaged.totalSeq = 3;
    damaged.imageRetryMs = 3600000;
    damaged.faultyPage = 2;
    damaged.fault = ViewerSite::Book::Fault::Damaged;
    site->addBook(QStringLiteral("long.damaged"), damaged);

    book.outageMs = 3600000;
    book.retryAfterSeconds = 0;
    site->addBook(QStringLiteral("long.down"), book);
    ViewerSite::Book twice;
    twice.totalSeq = 4;
    twice.imageRetryMs = 3600000;
    twice.unavailable.insert(2, 2); // the viewer's request and the page script's one, then it works
    site->addBook(QStringLiteral("long.twice"), twice);
    ViewerSite::Book five;
    five.totalSeq = 5;
    site->addBook(QStringLiteral("long.five"), five);
    site->addBook(QStringLiteral("long.range"), five);
    site->addBook(QStringLiteral("long.killed"), five);
    site->addBook(QStringLiteral("long.range2"), five);
    ViewerSite::Book two;
    two.totalSeq = 2;
    two.title = QStringLiteral("Queued Book");
    site->addBook(QStringLiteral("long.qa"), two);
    site->addBook(QStringLiteral("long.qb"), five);
    site->addBook(QStringLiteral("long.r1"), two);
    site->addBook(QStringLiteral("long.r2"), two);
    site->addBook(QStringLiteral("long.r3"), two);
    fixture.setUp();
}

void TestLongRuns::init()
{
    QVERIFY(fixture.openWindow());
    window = fixture.window;
    fixture.runFast();
}

void TestLongRuns::cleanup()
{
    QVERIFY(fixture.closeWindow());
    QCOMPARE(errors, QStringList());
}

void TestLongRuns::cleanupTestCase()
{
    fixture.tearDown();
}

void TestLongRuns::outageIsWaitedOut_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("said"); // the wait the log announces first
    // Growing waits of its own; a Retry-After of the site instead when it sends one.
    QTest::newRow("growing waits") << "long.outage" << "Page 2 did not load (HTTP 503): trying again in 1 s";
    QTest::newRow("Retry-After") << "long.retryafter" << "Page 2 did not load (HTTP 503): trying again in 3 s";
}

void TestLongRuns::outageIsWaitedOut()
{
    QFETCH(QString, id);
    QFETCH(QString, said);
    window->Controller->Settings.patience = {{1s, 2s, 4s}, 60s, 10min};
    openViewer(id, 1, 3);
    window->downloadbtn->click();
    waitForEnd();
    QVERIFY2(window->Memo1->lines().contains(said), qPrintable(log()));
    QVERIFY2(!log().contains(QLatin1String("missing pages")), qPrintable(log()));
    // At most two requests a try: the viewer's, and the page script's asking why.
    const int requests = site->hits(site->imagePath(id, 2));
    QVERIFY2(requests >= 2 && requests <= 6, qPrintable(QString::number(requests)));
    QCOMPARE(pdfPages(id + QStringLiteral(".pdf")), 3);
}

void TestLongRuns::secondPassRecoversAPage()
{
    // Given up at its first failure; by the end of the run the site has it again.
    window->Controller->Settings.patience = {{1s}, 0s, 10min};
    openViewer(QStringLiteral("long.twice"), 1, 4);
    window->downloadbtn->click();
    waitForEnd();
    const QStringList lines = window->Memo1->lines();
    QVERIFY2(lines.contains(QStringLiteral("Page 2 could not be captured")), qPrintable(log()));
    QVERIFY(lines.contains(QStringLiteral("Trying once more the pages that could not be captured: 2")));
    QVERIFY(!log().contains(QLatin1String("missing pages")));
    QCOMPARE(pdfPages(QStringLiteral("long.twice.pdf")), 4);
    QFile page2(PageFilePath(QStringLiteral("long.twice"), 2));
    QVERIFY(page2.open(QIODevice::ReadOnly));
    QCOMPARE(page2.readAll(), site->pageFile(QStringLiteral("long.twice"), 2));
}

void TestLongRuns::stopEndsAWait()
{
    window->Controller->Settings.patience = {{10min}, 60min, 10min};
    openViewer(QStringLiteral("long.down"), 1, 3);
    window->downloadbtn->click();
    QTRY_VERIFY_WITH_TIMEOUT(log().contains(QLatin1String("Waiting for the site: page 2 again in")), 60000);
    const int requests = site->hits(site->imagePath(QStringLiteral("long.down"), 2));
    window->stopbtn->click();
    QVERIFY(!window->Controller->Working());
    QVERIFY(window->Memo1->lines().contains(QStringLiteral("download end.")));
    // No tick is left to load the page again after the wait: no request after Stop.
    QTRY_VERIFY(!window->Controller->Busy());
    QVERIFY(!window->Controller->Ticking());
    QCOMPARE(site->hits(site->imagePath(QStringLiteral("long.down"), 2)), requests);
    QVERIFY(window->downloadbtn->isVisible());
}

void TestLongRuns::goesOnAfterARestart()
{
    // Closed after two of five pages.
    openViewer(QStringLiteral("long.five"), 1, 5);
    window->downloadbtn->click();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(PageFilePath(QStringLiteral("long.five"), 2)), 60000);
    QVERIFY(fixture.closeWindow());
    QFile::remove(PageFilePath(QStringLiteral("long.five"), 3)); // had the third come meanwhile
    QFile::remove(PageFilePath(QStringLiteral("long.five"), 4));

    // Restarted, the book opened at page 1 and Download pressed: pages 1 and 2 are not
    // captured again.
    QVERIFY(fixture.openWindow());
    window = fixture.window;
    fixture.runFast();
    openViewer(QStringLiteral("long.five"), 1, 5);
    const int page1 = site->hits(site->imagePath(QStringLiteral("long.five"), 1));
    const int page2 = site->hits(site->imagePath(QStringLiteral("long.five"), 2));
    window->downloadbtn->click();
    waitForEnd();
    QVERIFY2(window->Memo1->lines().contains(QStringLiteral("Pages 1-2 are stored already: going on at page 3")), qPrintable(log()));
    QCOMPARE(site->hits(site->imagePath(QStringLiteral("long.five"), 1)), page1);
    QCOMPARE(site->hits(site->imagePath(QStringLiteral("long.five"), 2)), page2);
    QVERIFY(window->chm->MainFrameUrl().endsWith(QLatin1String("seq=5")));
    QCOMPARE(pdfPages(QStringLiteral("long.five.pdf")), 5);
}

void TestLongRuns::rangeFromTheBoxes_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("pdf");     // empty: none
    QTest::addColumn<int>("pages");
    QTest::addColumn<QString>("refusal"); // the error shown, when the range is refused
    QTest::newRow("2 to 4") << "long.range" << "2" << "4" << "long.range (pages 2-4).pdf" << 3 << "";
    QTest::newRow("from 4 to the end") << "long.range2" << "4" << "" << "long.range2 (pages 4-5).pdf" << 2 << "";
    QTest::newRow("past the book") << "long.range" << "3" << "9" << "" << 0
                                   << "Page 9 is past the book's end";
    QTest::newRow("not a number") << "long.range" << "x" << "" << "" << 0 << "Download From / To:";
}

void TestLongRuns::rangeFromTheBoxes()
{
    QFETCH(QString, id);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, pdf);
    QFETCH(int, pages);
    QFETCH(QString, refusal);
    openViewer(id, 1, 5);
    window->started->setText(from);
    window->ended->setText(to);
    window->downloadbtn->click();
    if (!refusal.isEmpty()) {
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.first().startsWith(refusal), qPrintable(errors.first()));
        errors.clear();
        QVERIFY(!window->Controller->Working());
        return;
    }
    waitForEnd();
    QVERIFY2(!log().contains(QLatin1String("missing pages")), qPrintable(log()));
    QCOMPARE(pdfPages(pdf), pages);
    QVERIFY(!QFile::exists(PageFilePath(id, 1)));
}

void TestLongRuns::queueKeptAcrossARestart()
{
    openViewer(QStringLiteral("long.qa"), 1, 2);
    queueButton("addtoqueuebtn")->click();
    openViewer(QStringLiteral("long.qb"), 1, 5);
    window->started->setText(QStringLiteral("2"));
    window->ended->setText(QStringLiteral("3"));
    queueButton("addtoqueuebtn")->click();
    queueButton("addtoqueuebtn")->click(); // once is enough
    QCOMPARE(queueList()->topLevelItemCount(), 2);
    QCOMPARE(queueList()->topLevelItem(0)->text(0), QStringLiteral("Queued Book"));
    QCOMPARE(queueList()->topLevelItem(1)->text(1), QStringLiteral("2-3 of 5"));
    QVERIFY2(window->Memo1->lines().contains(QStringLiteral("The book is in the queue already: Viewer")), qPrintable(log()));
    QVERIFY(fixture.closeWindow());

    // Offered again at the next start, and run one book after another.
    QVERIFY(fixture.openWindow());
    window = fixture.window;
    fixture.runFast();
    QVERIFY2(window->Memo1->lines().contains(
                 QStringLiteral("2 books are queued from the last session: press \"Run queue\" to download them")),
             qPrintable(log()));
    QCOMPARE(queueList()->topLevelItemCount(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(queueButton("runqueuebtn")->isEnabled(), 20000);
    queueButton("runqueuebtn")->click();
    QTRY_VERIFY_WITH_TIMEOUT(window->Memo1->lines().contains(QStringLiteral("The queue is done")), 120000);
    for (int row = 0; row < 2; ++row)
        QCOMPARE(queueList()->topLevelItem(row)->text(2), QStringLiteral("done"));
    QCOMPARE(pdfPages(QStringLiteral("long.qa.pdf")), 2);
    QCOMPARE(pdfPages(QStringLiteral("long.qb (pages 2-3).pdf")), 2);

    // Removed from the list and from the file it is kept in.
    queueList()->topLevelItem(0)->setSelected(true);
    queueButton("removequeuebtn")->click();
    QCOMPARE(queueList()->topLevelItemCount(), 1);
    BookQueue kept;
    QCOMPARE(kept.load(BookQueue::DefaultFile()), QString());
    QCOMPARE(kept.size(), 1);
    QCOMPARE(kept.entries().first().bookId, QStringLiteral("long.qb"));
}

void TestLongRuns::finishedRowRemovedWhileTheQueueRuns()
{
    auto queued = [this](const QString &id, QueueState state) {
        QueueEntry entry;
        entry.url = site->viewerUrl(id, 1);
        entry.bookId = id;
        entry.state = state;
        QVERIFY(window->Queue->add(entry));
    };
    while (!window->Queue->isEmpty()) // what earlier tests queued
        window->Queue->remove(0);
    queued(QStringLiteral("long.r1"), QueueState::Done);
    queued(QStringLiteral("long.r2"), QueueState::Waiting);
    queued(QStringLiteral("long.r3"), QueueState::Waiting);
    queueButton("runqueuebtn")->click();
    // The first row, done before, is removed while the second book downloads.
    QTRY_VERIFY_WITH_TIMEOUT(queueList()->topLevelItem(1)->text(2) == QStringLiteral("running") && window->Controller->Working(), 60000);
    queueList()->topLevelItem(0)->setSelected(true);
    queueButton("removequeuebtn")->click();
    QCOMPARE(queueList()->topLevelItemCount(), 2);
    QTRY_VERIFY_WITH_TIMEOUT(window->Memo1->lines().contains(QStringLiteral("The queue is done")), 120000);
    // Each book marked with its own PDF, and the file keeps none running.
    BookQueue kept;
    QCOMPARE(kept.load(BookQueue::DefaultFile()), QString());
    QCOMPARE(kept.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QString id = QStringLiteral("long.r%1").arg(i + 2);
        QCOMPARE(kept.entries().at(i).bookId, id);
        QCOMPARE(kept.entries().at(i).state, QueueState::Done);
        QCOMPARE(kept.entries().at(i).message, AppFolders().dataFolder + id + QStringLiteral(".pdf"));
        QCOMPARE(pdfPages(id + QStringLiteral(".pdf")), 2);
    }
}

void TestLongRuns::damagedImageIsGivenUpWithoutWaits()
{
    // Waits that would outlast the test: a damaged file is not waited for.
    window->Controller->Settings.patience = {{10min}, 60min, 10min};
    openViewer(QStringLiteral("long.damaged"), 1, 3);
    window->downloadbtn->click();
    waitForEnd();
    const QStringList lines = window->Memo1->lines();
    QVERIFY2(lines.contains(QStringLiteral("Page 2 is damaged as the site sends it: given up")), qPrintable(log()));
    QVERIFY2(!log().contains(QLatin1String("trying again in")), qPrintable(log()));
    QVERIFY(lines.contains(QStringLiteral("Trying once more the pages that could not be captured: 2")));
    QVERIFY(lines.contains(QStringLiteral("Still missing: 2")));
    QCOMPARE(pdfPages(QStringLiteral("long.damaged.pdf")), 2);
    QVERIFY(!QFile::exists(PageFilePath(QStringLiteral("long.damaged"), 2)));
}

void TestLongRuns::pageProcessKilledInMidRun()
{
    openViewer(QStringLiteral("long.killed"), 1, 5);
    // The process that renders the viewer is killed once page 2 is in.
    qint64 killed = 0;
    const QMetaObject::Connection watching = connect(window->Controller, &TDownloadController::Event, this, [&](const RunEvent &event) {
        const auto *stored = std::get_if<RunEvents::PageStored>(&event);
        if (stored && stored->page == 2 && killed == 0) {
            killed = window->chm->PageProcessId();
            QVERIFY(killed > 0);
            QCOMPARE(::kill(pid_t(killed), SIGKILL), 0);
        }
    });
    auto unwatch = qScopeGuard([&] { disconnect(watching); }); // it writes to this function's own
    window->downloadbtn->click();
    waitForEnd();
    QVERIFY(killed > 0);
    QVERIFY2(window->Memo1->lines().contains(QStringLiteral("The browser's page process ended (was killed): loading page 3 again")),
             qPrintable(log()));
    QVERIFY(!log().contains(QLatin1String("missing pages")));
    QCOMPARE(pdfPages(QStringLiteral("long.killed.pdf")), 5);
    QVERIFY(window->chm->PageProcessId() != killed);
}

// The visible controls of the right-hand panel that overlap, by their names or texts.
static QStringList overlapping(const QWidget *panel)
{
    QList<const QWidget *> shown;
    for (const QWidget *child : panel->findChildren<const QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisibleTo(panel->window()))
            shown << child;
    }
    auto name = [](const QWidget *w) {
        const QVariant text = w->property("text");
        return w->metaObject()->className() + QStringLiteral(" ") + (text.toString().isEmpty() ? w->objectName() : text.toString());
    };
    QStringList pairs;
    for (int i = 0; i < shown.size(); ++i)
        for (int j = i + 1; j < shown.size(); ++j)
            if (shown[i]->geometry().intersects(shown[j]->geometry()))
                pairs << name(shown[i]) + QStringLiteral(" / ") + name(shown[j]);
    return pairs;
}

void TestLongRuns::rightPanelControlsNeverOverlap()
{
    // Looked at in every state a run goes through: as it starts, waiting for the site, building.
    QStringList seen, found;
    const QMetaObject::Connection watching = connect(window->Controller, &TDownloadController::Event, this, [&](const RunEvent &event) {
        const char *state = std::holds_alternative<RunEvents::Progressed>(event)        ? "running"
                            : std::holds_alternative<RunEvents::WaitCountdown>(event)   ? "waiting for the site"
                            : std::holds_alternative<RunEvents::BuildProgress>(event)   ? "building"
                                                                                        : nullptr;
        if (!state)
            return;
        seen << QLatin1String(state);
        for (const QString &pair : overlapping(window->panel6))
            found << QLatin1String(state) + QStringLiteral(": ") + pair;
    });
    auto unwatch = qScopeGuard([&] { disconnect(watching); }); // it writes to this function's own
    QCOMPARE(overlapping(window->panel6), QStringList()); // idle
    window->Controller->Settings.patience = {{1s}, 60s, 10min};
    openViewer(QStringLiteral("long.layout"), 1, 3);
    QCOMPARE(overlapping(window->panel6), QStringList()); // a book offered
    window->downloadbtn->click();
    waitForEnd();
    QVERIFY2(seen.contains(QStringLiteral("running")) && seen.contains(QStringLiteral("waiting for the site"))
                 && seen.contains(QStringLiteral("building")),
             qPrintable(seen.join(QLatin1Char(','))));
    found.removeDuplicates();
    QCOMPARE(found, QStringList());
    QVERIFY(window->rebuildbtn->isVisibleTo(window));
    QCOMPARE(overlapping(window->panel6), QStringList()); // idle again, with Rebuild
}

QM_TEST_MAIN(TestLongRuns)
#include "tst_longruns.moc"
