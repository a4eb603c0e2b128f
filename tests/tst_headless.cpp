// The program run without a window, as a process, against the test viewer site: what it
// prints, the PDFs it writes and its exit status.

#include "pdfcheck.h"
#include "testenv.h"
#include "viewersite.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sys/mount.h>

class TestHeadless : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void exitStatus_data();
    void exitStatus();
    void sigtermStopsLikeStop();
    void secondProcessOnTheProfileIsRefused();
    void stoppedRunGoesOnWhereItStopped();
    void pageProcessKilledInMidRun();
    void outputFolderMadeWhenMissing();
    void failedBuildAndTheQueueGoesOn();
    void fullDisk_data();
    void fullDisk();

private:
    // Mounts a small file system of its own at path (root only); false when it cannot.
    bool mountSmallDisk(const QString &path, const QByteArray &size);
    struct Run
    {
        int status = -1;
        QStringList out;  // standard output, a line each
        QString err;
    };
    QProcessEnvironment environment() const;
    // Reads the process's error stream into err until it says text or the process has ended;
    // whether it said it.
    static bool waitForSaid(QProcess &process, QString &err, const QString &text, int timeoutMs);
    void start(QProcess &process, const QStringList &arguments) const;
    Run run(const QStringList &arguments, int timeoutMs = 180000);
    QString dataFolder() const { return home->path() + QStringLiteral("/Documents/Brindlewick/Quillmoor Downloader/"); }
    QString pageFile(const QString &id, int page) const
    {
        return dataFolder() + QStringLiteral("tmp/%1/%2.jpg").arg(id).arg(page, 4, 10, QLatin1Char('0'));
    }

    ViewerSite *site = nullptr;
    std::unique_ptr<QTemporaryDir> home;
};

bool TestHeadless::waitForSaid(QProcess &process, QString &err, const QString &text, int timeoutMs)
{
    auto said = [&] {
        err += QString::fromLocal8Bit(process.readAllStandardError());
        return err.contains(text);
    };
    return QTest::qWaitFor([&] { return said() || process.state() == QProcess::NotRunning; }, timeoutMs) && said();
}

void TestHeadless::initTestCase()
{
    site = new ViewerSite(this);
    QVERIFY(site->start());
    ViewerSite::Book book;
    book.totalSeq = 3;
    book.title = QStringLiteral("First Book");
    site->addBook(QStringLiteral("cli.a"), book);
    book.totalSeq = 2;
    book.title = QStringLiteral("Second Book");
    site->addBook(QStringLiteral("cli.b"), book);
    book.totalSeq = 5;
    site->addBook(QStringLiteral("cli.five"), book);
    site->addBook(QStringLiteral("cli.killed"), book);
    site->addBook(QStringLiteral("cli.full"), book);
    site->addBook(QStringLiteral("cli.small"), book);
    book.totalSeq = 3;
    book.faultyPage = 2;
    book.fault = ViewerSite::Book::Fault::Unavailable;
    book.imageRetryMs = 3600000;
    site->addBook(QStringLiteral("cli.broken"), book);
    ViewerSite::Book longBook;
    longBook.totalSeq = 12;
    site->addBook(QStringLiteral("cli.long"), longBook);
}

void TestHeadless::init()
{
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(home->isValid());
}

QProcessEnvironment TestHeadless::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display of any kind.
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home->path());
    // The real pace, only faster; a page that does not load is waited for briefly.
    env.insert(QStringLiteral("QUILLMOOR_TICK_MS"), QStringLiteral("50"));
    env.insert(QStringLiteral("QUILLMOOR_SITE_WAITS"), QStringLiteral("200,400;1000"));
    return env;
}

void TestHeadless::start(QProcess &process, const QStringList &arguments) const
{
    process.setProcessEnvironment(environment());
    process.start(QStringLiteral(QM_PROGRAM), arguments);
}

TestHeadless::Run TestHeadless::run(const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    start(process, arguments);
    Run result;
    // The site answers from this process's event loop: wait with it running.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished();
        qWarning("the run did not end: %s", process.readAllStandardError().constData());
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

void TestHeadless::exitStatus_data()
{
    QTest::addColumn<QStringList>("arguments"); // "<site>" is the test site's address
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("pdfs");      // under the output folder "<out>" or the data folder
    QTest::addColumn<QList<int>>("pdfPages");
    QTest::addColumn<QString>("said");          // on standard error

    QTest::newRow("two books") << QStringList{"--download", "--text", "none", "<site>/cgi/pt?id=cli.a&seq=1",
                                              "<site>/cgi/pt?id=cli.b&seq=1"}
                               << 0 << QStringList{"<data>cli.a.pdf", "<data>cli.b.pdf"} << QList<int>{3, 2}
                               << "cli.a: page 3 of 3";
    QTest::newRow("a page range, elsewhere") << QStringList{"--download", "--text", "none", "--pages", "2-4", "--output",
                                                            "<out>", "<site>/cgi/pt?id=cli.five&seq=1"}
                                             << 0 << QStringList{"<out>cli.five (pages 2-4).pdf"} << QList<int>{3}
                                             << "cli.five: page 4 of 5";
    QTest::newRow("a range past the book") << QStringList{"--download", "--pages", "4-9", "<site>/cgi/pt?id=cli.a&seq=1"}
                                           << 3 << QStringList{} << QList<int>{} << "cli.a: not downloaded";
    QTest::newRow("a page that never loads") << QStringList{"--download", "--text", "none", "<site>/cgi/pt?id=cli.broken&seq=1"}
                                             << 1 << QStringList{"<data>cli.broken.pdf"} << QList<int>{2}
                                             << "cli.broken: pages missing: 2";
    QTest::newRow("not a viewer address") << QStringList{"--download", "<site>/"} << 2 << QStringList{} << QList<int>{}
                                          << "is not the address of a book";
    QTest::newRow("unknown option") << QStringList{"--download", "--fast", "<site>/cgi/pt?id=cli.a&seq=1"} << 2
                                    << QStringList{} << QList<int>{} << "--fast";
    QTest::newRow("unreachable site") << QStringList{"--download", "http://127.0.0.1:9/cgi/pt?id=cli.a&seq=1"} << 3
                                      << QStringList{} << QList<int>{} << "cli.a: not downloaded";
}

void TestHeadless::exitStatus()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QStringList, pdfs);
    QFETCH(QList<int>, pdfPages);
    QFETCH(QString, said);

    QTemporaryDir out;
    for (QString &argument : arguments)
        argument.replace(QLatin1String("<site>"), site->url(QString())).replace(QLatin1String("<out>"), out.path());
    const Run result = run(arguments);
    QVERIFY2(result.status == status, qPrintable(QStringLiteral("exit %1: %2").arg(result.status).arg(result.err)));
    QVERIFY2(result.err.contains(said), qPrintable(result.err));
    QStringList expected;
    for (QString pdf : pdfs)
        expected << pdf.replace(QLatin1String("<data>"), dataFolder()).replace(QLatin1String("<out>"), out.path() + QLatin1Char('/'));
    QCOMPARE(result.out, expected);
    for (int i = 0; i < expected.size(); ++i) {
        QVERIFY(PdfCheck::qpdfCheck(expected[i]));
        QCOMPARE(PdfCheck::pageSizes(expected[i]).size(), pdfPages.value(i));
    }
}

void TestHeadless::sigtermStopsLikeStop()
{
    // An earlier PDF of the book stays as it was.
    QVERIFY(QDir().mkpath(dataFolder()));
    QFile earlier(dataFolder() + QStringLiteral("cli.long.pdf"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("%PDF-1.4 earlier");
    earlier.close();

    QProcess process;
    start(process, {QStringLiteral("--download"), QStringLiteral("--text"), QStringLiteral("none"),
                    site->viewerUrl(QStringLiteral("cli.long"), 1)});
    QString err;
    QVERIFY(waitForSaid(process, err, QLatin1String("cli.long: page 3 of 12"), 120000));
    QCOMPARE(process.state(), QProcess::Running);
    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 143);
    QCOMPARE(process.readAllStandardOutput(), QByteArray()); // no PDF written
    QVERIFY(QFile::exists(pageFile(QStringLiteral("cli.long"), 3)));
    QVERIFY(!QFile::exists(pageFile(QStringLiteral("cli.long"), 12)));
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("%PDF-1.4 earlier"));
    QCOMPARE(QDir(dataFolder()).entryList({QStringLiteral("*.part*")}, QDir::Files), QStringList());
}

void TestHeadless::secondProcessOnTheProfileIsRefused()
{
    QProcess first;
    start(first, {QStringLiteral("--download"), QStringLiteral("--text"), QStringLiteral("none"),
                  site->viewerUrl(QStringLiteral("cli.long"), 1)});
    QString err;
    QVERIFY(waitForSaid(first, err, QLatin1String("cli.long: opening"), 60000));
    const Run second = run({QStringLiteral("--download"), site->viewerUrl(QStringLiteral("cli.a"), 1)});
    QCOMPARE(second.status, 3);
    QVERIFY2(second.err.contains(QLatin1String("is using the profile")), qPrintable(second.err));
    QCOMPARE(second.out, QStringList());
    // The first run is not disturbed.
    QVERIFY(QTest::qWaitFor([&] { return first.state() == QProcess::NotRunning; }, 180000));
    QCOMPARE(first.exitCode(), 0);
    QCOMPARE(first.readAllStandardOutput().trimmed(), (dataFolder() + QStringLiteral("cli.long.pdf")).toLocal8Bit());
}

void TestHeadless::stoppedRunGoesOnWhereItStopped()
{
    // Two pages of five from an earlier run; the run captures pages 3 to 5 alone.
    QVERIFY(QDir().mkpath(dataFolder() + QStringLiteral("tmp/cli.five")));
    for (int page : {1, 2}) {
        QFile file(pageFile(QStringLiteral("cli.five"), page));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(site->pageFile(QStringLiteral("cli.five"), page));
    }
    const int before = site->hits(site->imagePath(QStringLiteral("cli.five"), 1));
    const int before2 = site->hits(site->imagePath(QStringLiteral("cli.five"), 2));
    const Run result = run({QStringLiteral("--download"), QStringLiteral("--text"), QStringLiteral("none"),
                            site->viewerUrl(QStringLiteral("cli.five"), 1)});
    QVERIFY2(result.status == 0, qPrintable(result.err));
    QVERIFY2(result.err.contains(QLatin1String("Pages 1-2 are stored already: going on at page 3")), qPrintable(result.err));
    QVERIFY(!result.err.contains(QLatin1String("page 1 of 5")));
    QCOMPARE(site->hits(site->imagePath(QStringLiteral("cli.five"), 2)), before2); // page 2 not asked for again
    QVERIFY(site->hits(site->imagePath(QStringLiteral("cli.five"), 1)) - before <= 1); // the viewer opened there
    QCOMPARE(PdfCheck::pageSizes(result.out.value(0)).size(), 5);
}

namespace {

// The processes that render pages for the program at pid: the browser engine forks them from a
// zygote process of its own (so they go by its command line), a child of the program.
QList<qint64> pageProcesses(qint64 pid)
{
    QMultiMap<qint64, qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 child = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!number || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        children.insert(fields.value(1).toLongLong(), child);
    }
    QList<qint64> found;
    for (qint64 zygote : children.values(pid))
        found << children.values(zygote);
    return found;
}

} // namespace

void TestHeadless::pageProcessKilledInMidRun()
{
    QProcess process;
    start(process, {QStringLiteral("--download"), QStringLiteral("--text"), QStringLiteral("none"),
                    site->viewerUrl(QStringLiteral("cli.killed"), 1)});
    QString err;
    QVERIFY(waitForSaid(process, err, QLatin1String("cli.killed: page 2 of 5"), 120000));
    const QList<qint64> renderers = pageProcesses(process.processId());
    QVERIFY(!renderers.isEmpty());
    for (qint64 renderer : renderers)
        ::kill(pid_t(renderer), SIGKILL);
    QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000));
    err += QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(err.contains(QLatin1String("The browser's page process ended (was killed): loading page")), qPrintable(err));
    QCOMPARE(PdfCheck::pageSizes(dataFolder() + QStringLiteral("cli.killed.pdf")).size(), 5);
}

void TestHeadless::outputFolderMadeWhenMissing()
{
    QTemporaryDir out;
    const QString folder = out.path() + QStringLiteral("/not/yet");
    const Run made = run({QStringLiteral("--download"), QStringLiteral("--text"), QStringLiteral("none"), QStringLiteral("--output"),
                          folder, site->viewerUrl(QStringLiteral("cli.b"), 1)});
    QVERIFY2(made.status == 0, qPrintable(made.err));
    QCOMPARE(made.out, QStringList{folder + QStringLiteral("/cli.b.pdf")});
    // One that cannot be made is refused before anything is captured.
    const int requests = site->hits(site->imagePath(QStringLiteral("cli.a"), 1));
    const Run refused = run({QStringLiteral("--download"), QStringLiteral("--output"), QStringLiteral("/proc/no/folder"),
                             site->viewerUrl(QStringLiteral("cli.a"), 1)});
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.err.contains(QLatin1String("--output /proc/no/folder: Cannot create folder")), qPrintable(refused.err));
    QCOMPARE(site->hits(site->imagePath(QStringLiteral("cli.a"), 1)), requests);
}

void TestHeadless::failedBuildAndTheQueueGoesOn()
{
    // A folder where the first book's PDF goes: its build cannot write it.
    QVERIFY(QDir().mkpath(dataFolder() + QStringLiteral("cli.a.pdf")));
    const Run result = run({QStringLiteral("--download"), QStringLiteral("--text"), QStringLiteral("none"),
                            site->viewerUrl(QStringLiteral("cli.a"), 1), site->viewerUrl(QStringLiteral("cli.b"), 1)});
    QVERIFY2(result.status == 4, qPrintable(result.err));
    QVERIFY2(result.err.contains(QLatin1String("cli.a: Error in")), qPrintable(result.err));
    QCOMPARE(result.out, QStringList{dataFolder() + QStringLiteral("cli.b.pdf")});
}

bool TestHeadless::mountSmallDisk(const QString &path, const QByteArray &size)
{
    return QDir().mkpath(path) && ::mount("tmpfs", QFile::encodeName(path).constData(), "tmpfs", 0, ("size=" + size).constData()) == 0;
}

void TestHeadless::fullDisk_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QByteArray>("size");  // of the disk the book's pages go to
    QTest::addColumn<bool>("fillAfterOne"); // the disk fills up after the first page
    QTest::addColumn<QString>("said");
    QTest::addColumn<int>("pages");         // stored, each whole
    QTest::newRow("full in mid-run") << "cli.full" << QByteArray("11m") << true << "No space left on device" << 1;
    QTest::newRow("too small to begin") << "cli.small" << QByteArray("1m") << false
                                        << "Not enough space in %1: 1 MB free, this book needs about 10 MB" << 0;
}

void TestHeadless::fullDisk()
{
    QFETCH(QString, id);
    QFETCH(QByteArray, size);
    QFETCH(bool, fillAfterOne);
    QFETCH(QString, said);
    QFETCH(int, pages);
    const QString folder = dataFolder() + QStringLiteral("tmp/") + id;
    if (!mountSmallDisk(folder, size))
        QSKIP("A file system of the test's own cannot be mounted here (not root)");
    auto unmount = qScopeGuard([&] { ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH); });
    // An earlier PDF of the book stays as it was.
    QFile earlier(dataFolder() + id + QStringLiteral(".pdf"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("%PDF-1.4 earlier");
    earlier.close();

    QProcess process;
    start(process, {QStringLiteral("--download"), QStringLiteral("--text"), QStringLiteral("none"), site->viewerUrl(id, 1)});
    QString err;
    if (fillAfterOne) {
        QVERIFY(waitForSaid(process, err, id + QStringLiteral(": page 1 of 5"), 120000));
        QFile filler(folder + QStringLiteral("/filler"));
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) {
        }
    }
    QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 120000));
    err += QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitCode(), 4);
    const QString text = said.contains(QLatin1String("%1")) ? said.arg(folder + QLatin1Char('/')) : said; // names the folder
    QVERIFY2(err.contains(text), qPrintable(err));
    QCOMPARE(process.readAllStandardOutput(), QByteArray());
    // The pages stored are whole, nothing half-written is left, the earlier PDF is as it was.
    QStringList stored = QDir(folder).entryList(QDir::Files);
    stored.removeOne(QStringLiteral("filler"));
    stored.removeOne(QStringLiteral("book.json"));
    QCOMPARE(stored.size(), pages);
    for (int page = 1; page <= pages; ++page) {
        QFile file(pageFile(id, page));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), site->pageFile(id, page));
    }
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("%PDF-1.4 earlier"));
    QCOMPARE(QDir(dataFolder()).entryList({QStringLiteral("*.part*")}, QDir::Files), QStringList());
}

QM_TEST_MAIN(TestHeadless)
#include "tst_headless.moc"
