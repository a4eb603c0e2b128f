#include "MainUnit.h"
#include "chromium.h"
#include "engineprofile.h"
#include "startup.h"
#include "starturl.h"
#include "testenv.h"
#include "viewersite.h"
#include "windowfixture.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

// The command line: the built program run as a process for --version and --help, and an
// address given on the command line reaching the window's first load.
class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void printsAndExits_data();
    void printsAndExits();
    void startUrlFromArguments_data();
    void startUrlFromArguments();
    void startUrlIsFirstLoad();

private:
    WindowFixture fixture;
    ViewerSite *site = nullptr;
};

void TestCommandLine::initTestCase()
{
    QVERIFY(fixture.startSite());
    site = fixture.site;
    fixture.setUp();
}

void TestCommandLine::cleanupTestCase()
{
    fixture.tearDown();
}

void TestCommandLine::printsAndExits_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expectedLines");

    const QString program = QFileInfo(QStringLiteral(QM_PROGRAM)).absolutePath();
    const QStringList version{QStringLiteral("Quillmoor Downloader " QM_VERSION),
                              QStringLiteral("PDF engine library: %1/libconverter.so").arg(program)};
    const QStringList help{QStringLiteral("Usage: %1 [options] [URL]").arg(QStringLiteral(QM_PROGRAM)),
                           QStringLiteral("--version Show the version and the PDF engine library in use, and exit."),
                           QStringLiteral("URL Address to open instead of the home page."),
                           QStringLiteral("%1 --download [options] URL...").arg(QStringLiteral(QM_PROGRAM)),
                           QStringLiteral("--pages <FROM-TO> Download only pages FROM to TO of each book."),
                           QStringLiteral("0 every page of every book is in its PDF"),
                           QStringLiteral("143 stopped by SIGTERM")};
    QTest::newRow("--version") << QStringList{"--version"} << version;
    QTest::newRow("--version among Chromium switches")
        << QStringList{"--disable-gpu", "--remote-debugging-port=9222", "--version", "http://127.0.0.1/"} << version;
    QTest::newRow("--help") << QStringList{"--help"} << help;
    QTest::newRow("-h") << QStringList{"-h"} << help;
    QTest::newRow("--help after a Qt option") << QStringList{"-platform", "xcb", "--help"} << help;
}

void TestCommandLine::printsAndExits()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expectedLines);

    // No display of any kind and a HOME of its own: the program must neither open a window
    // nor set up its folders or browser engine to answer.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    environment.insert(QStringLiteral("HOME"), home.path());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QM_PROGRAM), arguments);
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    // Compared with lines and runs of spaces made one: the help's column widths and where it
    // wraps are Qt's business.
    const QString text = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString all = text.simplified();
    for (const QString &line : expectedLines)
        QVERIFY2(all.contains(line), qPrintable(line + QStringLiteral(" not in:\n") + text));
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void TestCommandLine::startUrlFromArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");

    QTest::newRow("none") << QStringList{"quillmoor-downloader"} << "";
    QTest::newRow("address") << QStringList{"qd", "https://www.quillmoor.org/cgi/pt?id=a.1&seq=3"}
                             << "https://www.quillmoor.org/cgi/pt?id=a.1&seq=3";
    QTest::newRow("without scheme") << QStringList{"qd", "www.quillmoor.org/cgi/pt?id=a.1"}
                                    << "http://www.quillmoor.org/cgi/pt?id=a.1";
    QTest::newRow("non-ASCII is encoded") << QStringList{"qd", "https://www.quillmoor.org/Über"}
                                          << "https://www.quillmoor.org/%C3%9Cber";
    QTest::newRow("Chromium switches around it")
        << QStringList{"qd", "--disable-gpu", "--remote-debugging-port=9222", "https://a.example/", "--no-sandbox"}
        << "https://a.example/";
    QTest::newRow("first of two") << QStringList{"qd", "https://a.example/", "https://b.example/"} << "https://a.example/";
    QTest::newRow("after --webEngineArgs is Chromium's")
        << QStringList{"qd", "--webEngineArgs", "--single-process", "https://a.example/"} << "";
    QTest::newRow("empty argument") << QStringList{"qd", ""} << "";
    // A file of that name in the folder the program was started in wins over a host name.
    QTest::newRow("local file") << QStringList{"qd", "page.html"} << "file://<folder>/page.html";
}

void TestCommandLine::startUrlFromArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QTemporaryDir folder;
    QFile page(folder.filePath(QStringLiteral("page.html")));
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.close();
    const QString started = QDir::currentPath();
    QDir::setCurrent(folder.path());
    const QString url = StartUrlFromArguments(arguments);
    QDir::setCurrent(started);
    QCOMPARE(url, expected.replace(QStringLiteral("<folder>"), folder.path()));
}

void TestCommandLine::startUrlIsFirstLoad()
{
    const QString book = site->viewerUrl(QStringLiteral("cmd.1"), 2);
    SetStartUrl(StartUrlFromArguments({QStringLiteral("quillmoor-downloader"), book}));
    auto *window = new TMainfm(fixture.profile);
    fixture.window = window;
    QSignalSpy loaded(window->chm, &TChromium::LoadEnd);
    QTRY_VERIFY_WITH_TIMEOUT(!loaded.isEmpty(), 20000);
    QCOMPARE(loaded.first().at(2).toString(), book);
    QCOMPARE(site->hits(QStringLiteral("/")), 0); // the home page was never asked for
    QVERIFY(fixture.closeWindow());

    // The address is the first window's only: the next one opens the home page.
    QVERIFY(fixture.openWindow());
    QCOMPARE(fixture.window->chm->MainFrameUrl(), site->homeUrl());
    QVERIFY(fixture.closeWindow());
    QCOMPARE(fixture.errors, QStringList());
}

QM_TEST_MAIN_WITH(TestCommandLine, PrepareEngineProcess())
#include "tst_commandline.moc"
