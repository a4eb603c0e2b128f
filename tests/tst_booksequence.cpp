// Books of a queue downloaded one after another against a scripted stand-in for the viewer:
// each entry followed by what it is, whatever happens to the rows around it.
#include "booksequence.h"
#include "bookidentity.h"
#include "bookqueue.h"
#include "downloadcontroller.h"
#include "folders.h"
#include "pagefile.h"
#include "scriptedviewer.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/mount.h>

class TestBookSequence : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rowRemovedAboveTheRunningBook_data();
    void rowRemovedAboveTheRunningBook();
    void failedBuildMarksTheBookAndGoesOn();
    void bookNotOpenedGoesOn();
    void queueRunRightAfterAStop();
    void bookWhosePagesWouldNotFit_data();
    void bookWhosePagesWouldNotFit();

private:
    QueueEntry entry(const QString &id, QueueState state = QueueState::Waiting) const;
    // Runs the queue to its end; false when it did not end in time.
    bool runQueue();
    QString stateOf(const QString &id) const;
    void stopWhileAPageIsFetched();

    std::unique_ptr<ScriptedViewer> viewer;
    std::unique_ptr<TePubobj> book;
    std::unique_ptr<TDownloadController> controller;
    std::unique_ptr<BookQueue> queue;
    std::unique_ptr<BookSequence> sequence;
    QTemporaryDir folder;
    int testNumber = 0;
};

void TestBookSequence::initTestCase()
{
    SetupFolders();
    QVERIFY(folder.isValid());
}

void TestBookSequence::init()
{
    ++testNumber;
    viewer = std::make_unique<ScriptedViewer>();
    viewer->host = QStringLiteral("http://lib%1.test").arg(testNumber);
    viewer->total = 2;
    book = std::make_unique<TePubobj>();
    controller = std::make_unique<TDownloadController>(*viewer, *book, PageScriptText);
    controller->SetTickInterval(1);
    queue = std::make_unique<BookQueue>();
    QCOMPARE(queue->load(folder.filePath(QStringLiteral("queue%1.json").arg(testNumber))), QString());
    sequence = std::make_unique<BookSequence>(*controller, *viewer, *queue);
}

void TestBookSequence::cleanup()
{
    sequence.reset();
    controller.reset();
    queue.reset();
    book.reset();
    viewer.reset();
}

QueueEntry TestBookSequence::entry(const QString &id, QueueState state) const
{
    QueueEntry e;
    e.bookId = QStringLiteral("q%1.%2").arg(testNumber).arg(id);
    e.url = viewer->host + QStringLiteral("/cgi/pt?id=%1&seq=1").arg(e.bookId);
    e.state = state;
    return e;
}

bool TestBookSequence::runQueue()
{
    QSignalSpy done(sequence.get(), &BookSequence::Done);
    sequence->Start();
    return QTest::qWaitFor([&] { return !done.isEmpty(); }, 30000);
}

QString TestBookSequence::stateOf(const QString &id) const
{
    BookQueue kept;
    kept.load(folder.filePath(QStringLiteral("queue%1.json").arg(testNumber)));
    for (const QueueEntry &e : kept.entries()) {
        if (e.bookId.endsWith(QLatin1Char('.') + id))
            return QueueStateWord(e.state) + QLatin1Char(' ') + e.message;
    }
    return QStringLiteral("gone");
}

void TestBookSequence::rowRemovedAboveTheRunningBook_data()
{
    QTest::addColumn<bool>("whileOpening"); // removed as the book is being opened, else as it runs
    QTest::newRow("while it runs") << false;
    QTest::newRow("while it is opened") << true;
}

void TestBookSequence::rowRemovedAboveTheRunningBook()
{
    QFETCH(bool, whileOpening);
    queue->add(entry(QStringLiteral("done"), QueueState::Done));
    queue->add(entry(QStringLiteral("b")));
    queue->add(entry(QStringLiteral("c")));
    bool removed = false;
    auto removeFirstRow = [&](const QueueEntry &e) {
        if (!removed && e.bookId.endsWith(QLatin1String(".b"))) {
            removed = true;
            queue->remove(0);
        }
    };
    if (whileOpening)
        connect(sequence.get(), &BookSequence::BookOpening, this, removeFirstRow);
    else
        connect(sequence.get(), &BookSequence::BookStarted, this, removeFirstRow);
    QVERIFY(runQueue());
    QVERIFY(removed);
    const QString data = AppFolders().dataFolder;
    QCOMPARE(stateOf(QStringLiteral("done")), QStringLiteral("gone"));
    QCOMPARE(stateOf(QStringLiteral("b")), QStringLiteral("done ") + data + entry(QStringLiteral("b")).bookId + QStringLiteral(".pdf"));
    QCOMPARE(stateOf(QStringLiteral("c")), QStringLiteral("done ") + data + entry(QStringLiteral("c")).bookId + QStringLiteral(".pdf"));
}

void TestBookSequence::failedBuildMarksTheBookAndGoesOn()
{
    queue->add(entry(QStringLiteral("a")));
    queue->add(entry(QStringLiteral("b")));
    // A folder where the first book's PDF goes: its build cannot write it.
    QVERIFY(QDir().mkpath(AppFolders().dataFolder + entry(QStringLiteral("a")).bookId + QStringLiteral(".pdf")));
    QSignalSpy failures(controller.get(), &TDownloadController::Failed);
    QVERIFY(runQueue());
    QCOMPARE(failures.size(), 1);
    QCOMPARE(stateOf(QStringLiteral("a")), QStringLiteral("failed ") + failures.first().first().toString());
    QVERIFY(stateOf(QStringLiteral("b")).startsWith(QLatin1String("done ")));
}

void TestBookSequence::bookNotOpenedGoesOn()
{
    queue->add(entry(QStringLiteral("gone")));
    queue->add(entry(QStringLiteral("b")));
    viewer->countText = QStringLiteral("undefined"); // the first viewer tells no count
    connect(sequence.get(), &BookSequence::BookNotOpened, this, [&] { viewer->countText.clear(); });
    QVERIFY(runQueue());
    QVERIFY2(stateOf(QStringLiteral("gone")).startsWith(QLatin1String("failed the viewer did not say how many pages")),
             qPrintable(stateOf(QStringLiteral("gone"))));
    QVERIFY(stateOf(QStringLiteral("b")).startsWith(QLatin1String("done ")));
}

void TestBookSequence::stopWhileAPageIsFetched()
{
    // A run of the book on display stopped while its page's image is still being downloaded:
    // the controller is busy until the download has ended, whatever the viewer shows.
    viewer->foreignImages = true;
    viewer->reportDelayMs = 300;
    QSignalSpy identified(&controller->Display(), &TBookOnDisplay::BookIdentified);
    viewer->LoadURL(entry(QStringLiteral("a")).url);
    QVERIFY(identified.wait(5000));
    controller->Start();
    QVERIFY(QTest::qWaitFor([this] { return viewer->fetches > 0; }, 5000));
    controller->Stop();
    QVERIFY(controller->Busy());
}

void TestBookSequence::queueRunRightAfterAStop()
{
    queue->add(entry(QStringLiteral("b")));
    stopWhileAPageIsFetched();
    QVERIFY(runQueue());
    QVERIFY2(stateOf(QStringLiteral("b")).startsWith(QLatin1String("done ")), qPrintable(stateOf(QStringLiteral("b"))));
}

void TestBookSequence::bookWhosePagesWouldNotFit_data()
{
    QTest::addColumn<bool>("afterAStop"); // its run starts once the run stopped before has ended
    QTest::newRow("started at once") << false;
    QTest::newRow("started after a stop") << true;
}

void TestBookSequence::bookWhosePagesWouldNotFit()
{
    QFETCH(bool, afterAStop);
    const QueueEntry b = entry(QStringLiteral("b"));
    const QByteArray folder = QFile::encodeName(PageFolderPath(BookFolderName(b.bookId)));
    if (!QDir().mkpath(QFile::decodeName(folder)) || ::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=1m") != 0)
        QSKIP("A file system of the test's own cannot be mounted here (not root)");
    auto unmount = qScopeGuard([&] { ::umount2(folder.constData(), MNT_DETACH); });
    queue->add(b);
    queue->add(entry(QStringLiteral("c")));
    if (afterAStop)
        stopWhileAPageIsFetched();
    QSignalSpy ended(sequence.get(), &BookSequence::BookEnded);
    QVERIFY(runQueue());
    // Failed as a write that cannot be made, however its start came; the queue goes on.
    QCOMPARE(ended.size(), 2);
    const RunOutcome outcome = ended.first().at(1).value<RunOutcome>();
    QCOMPARE(outcome.kind, RunOutcome::Failed);
    QVERIFY(outcome.writeFailed);
    QVERIFY2(outcome.reason.startsWith(QLatin1String("Not enough space in ")), qPrintable(outcome.reason));
    QVERIFY(stateOf(QStringLiteral("c")).startsWith(QLatin1String("done ")));
}

QM_TEST_MAIN(TestBookSequence)
#include "tst_booksequence.moc"
