// The download run driven tick by tick against a scripted stand-in for the viewer: console
// tags, the script runner's waits, and the run's state machine in the awkward cases.
#include "apperror.h"
#include "bookpage.h"
#include "consolemessage.h"
#include "downloadcontroller.h"
#include "runlogwriter.h"
#include "folders.h"
#include "ibrowser.h"
#include "keepawake.h"
#include "logrecorder.h"
#include "pagefile.h"
#include "pagescripts.h"
#include "pdfcheck.h"
#include "scriptedviewer.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <deque>

namespace {

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestCaptureScripts : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void consoleTags_data();
    void consoleTags();
    void bookRecord_data();
    void bookRecord();
    void reportOfAGivenUpScriptIsDropped();
    void scriptWithoutBrowser();
    void scriptGoingOnAfterItsProbe_data();
    void scriptGoingOnAfterItsProbe();
    void howPagesCameIsLogged_data();
    void howPagesCameIsLogged();
    void addressChangeShortensWaitDuringRun();
    void runs_data();
    void runs();
    void stopAndDownloadInsideATick();
    void sessionExpiredSaysHowToGoOn();
    void closingStepWaitsForRunningBuild();
    void stopWhileClosingBuildWaitsForRebuild();
    void viewerLeavesDuringClosingBuild();
    void closeDuringBuild();
    void stopDuringClosingBuild();
    void unsavedBookRecordIsLogged();
    void unusableIdStartsNoRun_data();
    void unusableIdStartsNoRun();
    void pageFolderThatCannotBeMadeStartsNoRun();
    void reportedPageOutsideTheBook_data();
    void reportedPageOutsideTheBook();
    void goingOnAtThePageOnDisplay();
    void pageProcessEnds_data();
    void pageProcessEnds();
    void imageOfAnotherOriginFetched();
    void storedPageTheBuildCannotRead();

private:
    void newTask();
    void newRunner();
    void identifyBook();
    void startRun();
    bool waitForEnd(int timeoutMs = 30000);
    QStringList storedPages(const QString &book) const;
    // Page files 3..last of the book: a book whose build takes a while.
    void storeLongBook(int last);

    LogRecorder log;
    QStringList errors;
    std::unique_ptr<ScriptedViewer> viewer;
    std::unique_ptr<TePubobj> book;
    std::unique_ptr<TDownloadController> task;
    std::unique_ptr<TScriptRunner> runner;
    std::unique_ptr<RunLogWriter> writer;
    QStringList openedFolders;
    int runNumber = 0;
};

void TestCaptureScripts::initTestCase()
{
    SetupFolders();
}

void TestCaptureScripts::init()
{
    log.lines.clear();
    errors.clear();
    openedFolders.clear();
    viewer = std::make_unique<ScriptedViewer>();
    // Every test function captures books of its own.
    ++runNumber;
    viewer->host = QStringLiteral("http://lib%1.test").arg(runNumber);
    viewer->bookId = QStringLiteral("book%1.a").arg(runNumber);
}

void TestCaptureScripts::cleanup()
{
    task.reset();
    runner.reset();
    writer.reset();
    book.reset();
    viewer.reset();
}

void TestCaptureScripts::newTask()
{
    book = std::make_unique<TePubobj>();
    task = std::make_unique<TDownloadController>(*viewer, *book, PageScriptText);
    task->SetTickInterval(1); // ticks are counted, not timed
    task->Settings.pageWaitTicks = 30;
    writer = std::make_unique<RunLogWriter>(log);
    connect(task.get(), &TDownloadController::Event, writer.get(), &RunLogWriter::Write);
    connect(task.get(), &TDownloadController::Failed, this, [this](const QString &message) { errors << message; });
    connect(task.get(), &TDownloadController::AwakeNeeded, this, [](bool needed) {
        needed ? KeepAwake::Request() : KeepAwake::Release();
    });
    connect(task.get(), &TDownloadController::OpenOutputFolder, this, [this] { openedFolders << AppFolders().dataFolder; });
}

// A script runner of the test's own on the viewer, fed the console as the controller feeds its own.
void TestCaptureScripts::newRunner()
{
    runner = std::make_unique<TScriptRunner>(*viewer);
    connect(viewer.get(), &IBrowser::ConsoleMessage, runner.get(), &TScriptRunner::HandleConsoleText);
}

// The book page has loaded, as the window tells the controller: the book is identified and
// its page count asked for.
void TestCaptureScripts::identifyBook()
{
    QSignalSpy identified(&task->Display(), &TBookOnDisplay::BookIdentified);
    task->IdentifyBook();
    QVERIFY(identified.wait(5000));
}

void TestCaptureScripts::startRun()
{
    // The book page was detected first: the window asked for the count.
    identifyBook();
    task->Start();
}

bool TestCaptureScripts::waitForEnd(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !task->Working() && !task->Busy(); }, timeoutMs);
}

QStringList TestCaptureScripts::storedPages(const QString &bookId) const
{
    return QDir(PageFolderPath(bookId)).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
}

void TestCaptureScripts::storeLongBook(int last)
{
    QImage grain(1200, 1600, QImage::Format_RGB32);
    for (int y = 0; y < grain.height(); ++y)
        for (int x = 0; x < grain.width(); ++x)
            grain.setPixel(x, y, qRgb(x * 7 % 251, (x * y) % 253, y * 13 % 241));
    QVERIFY(QDir().mkpath(PageFolderPath(viewer->bookId)));
    QVERIFY(grain.save(PageFilePath(viewer->bookId, 3), "PNG"));
    for (int page = 4; page <= last; ++page)
        QVERIFY(QFile::copy(PageFilePath(viewer->bookId, 3), PageFilePath(viewer->bookId, page)));
}

void TestCaptureScripts::consoleTags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("tag");
    QTest::newRow("end marker") << "###end" << int(ConsoleTag::End);
    QTest::newRow("end marker with a blank") << "###end " << int(ConsoleTag::None);
    QTest::newRow("end marker in capitals") << "###END" << int(ConsoleTag::None);
    QTest::newRow("end marker of a script that went on") << "###end@12" << int(ConsoleTag::End);
    QTest::newRow("script goes on") << "###pending=12" << int(ConsoleTag::Pending);
    QTest::newRow("page report of a script that went on") << "###page@12={\"currpage\":\"3\"}" << int(ConsoleTag::Page);
    QTest::newRow("page report") << "###page={\"currpage\":\"3\"}" << int(ConsoleTag::Page);
    QTest::newRow("pagetitle counts as page") << "x ###pagetitle=abc=d" << int(ConsoleTag::Page);
    QTest::newRow("page and book: page wins") << "###book={} ###page=x" << int(ConsoleTag::Page);
    QTest::newRow("title") << "###title=Book A=B" << int(ConsoleTag::Title);
    QTest::newRow("ignored tag") << "###Totaldiv=3" << int(ConsoleTag::Ignored);
    QTest::newRow("ignored tag hides the book") << "###more=###book={}" << int(ConsoleTag::Ignored);
    QTest::newRow("book record") << "###book={\"totalSeq\":250}" << int(ConsoleTag::Book);
    QTest::newRow("probe") << "###scriptdone=12" << int(ConsoleTag::ScriptDone);
    QTest::newRow("probe text inside another message") << "x ###scriptdone=12" << int(ConsoleTag::None);
    QTest::newRow("untagged") << "[object Object]" << int(ConsoleTag::None);
}

void TestCaptureScripts::consoleTags()
{
    QFETCH(QString, text);
    QFETCH(int, tag);
    QCOMPARE(int(ReadConsoleMessage(text).tag), tag);
}

void TestCaptureScripts::bookRecord_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("total");
    QTest::addColumn<QStringList>("logged");
    QTest::newRow("count") << "###book={\"totalSeq\":250}" << 250 << QStringList{"Total pages 250"};
    QTest::newRow("count as text") << "###book={\"totalSeq\":\" 12 \"}" << 12 << QStringList{"Total pages 12"};
    QTest::newRow("zero") << "###book={\"totalSeq\":0}" << 0 << QStringList{"Total pages 0"};
    // A count that is none is this book's unknown count, never the one of the book before.
    QTest::newRow("no count") << "###book={\"title\":\"A\"}" << 0 << QStringList();
    QTest::newRow("garbage") << "###book={\"totalSeq\":\"12 pages\"}" << 0 << QStringList();
    QTest::newRow("fraction") << "###book={\"totalSeq\":2.5}" << 0 << QStringList();
    QTest::newRow("negative") << "###book={\"totalSeq\":-5}" << 0 << QStringList();
    QTest::newRow("no JSON") << "###book=12" << 0 << QStringList();
    QTest::newRow("more than a book has") << "###book={\"totalSeq\":2000000000}" << 0
                                          << QStringList{"Total pages 2000000000 is more than a book has: not taken"};
    QTest::newRow("title line") << "###title=Book A=B" << 7 << QStringList{"Book A=B"};
}

void TestCaptureScripts::bookRecord()
{
    QFETCH(QString, text);
    QFETCH(int, total);
    QFETCH(QStringList, logged);
    newTask();
    emit viewer->ConsoleMessage(QStringLiteral("###book={\"totalSeq\":7}"));
    log.lines.clear();
    emit viewer->ConsoleMessage(text);
    QCOMPARE(task->TotalPages(), total);
    QCOMPARE(log.lines, logged);
}

void TestCaptureScripts::reportOfAGivenUpScriptIsDropped()
{
    newRunner();
    viewer->reportDelayMs = 300;
    QList<ScriptOutcome> outcomes;
    // The first script is given up before its report comes; the report must not be taken
    // for the second script's, which prints nothing.
    runner->ExecScript(PageScriptText, 50, [&](const ScriptOutcome &o) { outcomes << o; });
    viewer->captureWorks = [](int attempt) { return attempt == 1; };
    runner->ExecScript(PageScriptText, 5000, [&](const ScriptOutcome &o) { outcomes << o; });
    QVERIFY(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 5000));
    QVERIFY(!outcomes[0].ended);
    QVERIFY(outcomes[0].report.isEmpty()); // given up at its deadline
    QVERIFY(outcomes[0].timedOut);         // with no word from the page
    QVERIFY(!outcomes[1].ended);
    QVERIFY(outcomes[1].report.isEmpty()); // known to be over from its probe, not the deadline
    QVERIFY(!runner->Busy());
}

void TestCaptureScripts::scriptGoingOnAfterItsProbe_data()
{
    QTest::addColumn<int>("firstDeadlineMs");
    QTest::addColumn<bool>("replaceDocument");   // the page navigates away while it reads
    QTest::addColumn<QList<bool>>("reported");   // for each of two scripts
    QTest::addColumn<QList<bool>>("ended");
    QTest::newRow("report after the probe") << 5000 << false << QList<bool>{true, false} << QList<bool>{true, true};
    // The first is given up before its report comes: the report is not the second's.
    QTest::newRow("given up") << 50 << false << QList<bool>{false, false} << QList<bool>{false, true};
    QTest::newRow("document replaced") << 5000 << true << QList<bool>{false, false} << QList<bool>{false, false};
}

void TestCaptureScripts::scriptGoingOnAfterItsProbe()
{
    QFETCH(int, firstDeadlineMs);
    QFETCH(bool, replaceDocument);
    QFETCH(QList<bool>, reported);
    QFETCH(QList<bool>, ended);
    newRunner();
    viewer->goesOn = true;
    viewer->reportDelayMs = 300;
    viewer->captureWorks = [](int attempt) { return attempt == 1; };
    QList<ScriptOutcome> outcomes;
    runner->ExecScript(PageScriptText, firstDeadlineMs, [&](const ScriptOutcome &o) { outcomes << o; });
    runner->ExecScript(PageScriptText, 5000, [&](const ScriptOutcome &o) { outcomes << o; });
    if (replaceDocument) {
        QVERIFY(QTest::qWaitFor([&] { return viewer->idle(); }, 5000)); // both probes are in, neither report
        QVERIFY(outcomes.isEmpty());
        QVERIFY(runner->Busy());
        runner->DocumentReplaced();
    }
    QVERIFY(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 5000));
    QVERIFY(QTest::qWaitFor([&] { return viewer->lateOutputs == 2; }, 5000)); // late output changes nothing
    QCOMPARE(outcomes.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(!outcomes[i].report.isEmpty(), reported[i]);
        QCOMPARE(outcomes[i].ended, ended[i]);
        QVERIFY(!outcomes[i].timedOut); // each said it goes on: the page answers, however slow
    }
    QVERIFY(!runner->Busy());
}

void TestCaptureScripts::howPagesCameIsLogged_data()
{
    QTest::addColumn<QString>("members");
    QTest::addColumn<QList<int>>("stored");
    QTest::addColumn<QString>("line");   // in the log this many times
    QTest::addColumn<int>("times");
    QTest::newRow("site files") << ",\"naturalWidth\":%1,\"naturalHeight\":40,\"source\":\"site\"" << QList<int>{1, 2, 3}
                                << "pages are the site's PNG files" << 1;
    QTest::newRow("canvas copies") << ",\"source\":\"canvas\",\"why\":\"WebP\"" << QList<int>{1, 2, 3}
                                   << "page 1: canvas copy (WebP)" << 1;
    // What the viewer shows is not what came: nothing is stored.
    QTest::newRow("not the size shown") << ",\"naturalWidth\":1,\"naturalHeight\":1,\"source\":\"site\"" << QList<int>{}
                                        << "The page image is not usable: an image of 61 x 40 pixels where the viewer shows 1 x 1"
                                        << 1;
}

void TestCaptureScripts::howPagesCameIsLogged()
{
    QFETCH(QString, members);
    QFETCH(QList<int>, stored);
    QFETCH(QString, line);
    QFETCH(int, times);
    newTask();
    viewer->goesOn = true;
    // The pages' widths differ (60 + page): the report says the width of the page on display.
    auto membersFor = [&members](int seq) { return members.contains(QLatin1String("%1")) ? members.arg(60 + seq) : members; };
    viewer->reportMembers = membersFor(viewer->seq);
    connect(viewer.get(), &IBrowser::AddressChange, this, [&] { viewer->reportMembers = membersFor(viewer->seq); });
    startRun();
    QVERIFY2(waitForEnd(), qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('|'))));
    QStringList files;
    for (int page : stored)
        files << PageFileName(page);
    QCOMPARE(storedPages(viewer->bookId), files);
    QVERIFY2(log.lines.count(line) == times, qPrintable(log.lines.join(QLatin1Char('|'))));
}

void TestCaptureScripts::scriptWithoutBrowser()
{
    newRunner();
    viewer->exists = false;
    bool called = false;
    runner->ExecScript(PageScriptText, 5000, [&](const ScriptOutcome &o) {
        called = true;
        QVERIFY(!o.ended);
    });
    QVERIFY(!called); // later, never inside the call
    QTRY_VERIFY(called);
    QVERIFY(viewer->scripts.isEmpty());
}

void TestCaptureScripts::addressChangeShortensWaitDuringRun()
{
    newTask();
    emit viewer->AddressChange(7, true, viewer->address());
    QCOMPARE(task->TickCount(), 0); // no run: nothing to shorten
    emit viewer->ConsoleMessage(QStringLiteral("###book={\"totalSeq\":3}"));
    task->SetTickInterval(3600000); // no tick in this test
    task->Start();
    emit viewer->AddressChange(7, false, viewer->address());
    QCOMPARE(task->TickCount(), 0); // a sub-frame
    emit viewer->AddressChange(8, true, viewer->address());
    QCOMPARE(task->TickCount(), 0); // a pop-up window
    emit viewer->AddressChange(7, true, viewer->address());
    QCOMPARE(task->TickCount(), 28);
    QVERIFY(task->Working());
    task->Stop();
}

void TestCaptureScripts::runs_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<QString>("countText");
    QTest::addColumn<int>("start");
    // Which capture attempts fail: "none", "first", "all", "2 3 4"; "empty 2 3 4": they report
    // the empty canvas of an image not loaded, on pages stored by an earlier run.
    QTest::addColumn<QString>("failing");
    QTest::addColumn<int>("firstReportDelayMs");
    QTest::addColumn<int>("captureTimeoutMs");
    QTest::addColumn<QString>("midCapture");    // what happens while the first report is produced
    QTest::addColumn<int>("leftoverPage");      // the book record's last page from another book
    QTest::addColumn<int>("leaveOnTurnFrom");
    QTest::addColumn<QList<int>>("stored");
    QTest::addColumn<QStringList>("logged");    // lines the log must hold, in this order
    QTest::addColumn<int>("pdfPages");          // -1: no PDF

    const QStringList none;
    QTest::newRow("whole book") << 3 << QString() << 1 << "none" << -1 << 60000 << "" << 0 << 0 << QList<int>{1, 2, 3}
                                << QStringList{"Save page 3 / 3 ...", "pdf page 3", "download end."} << 3;
    QTest::newRow("report late") << 3 << QString() << 1 << "none" << 2500 << 60000 << "" << 0 << 0 << QList<int>{1, 2, 3}
                                 << QStringList{"download end."} << 3;
    QTest::newRow("report after the capture gave up") << 3 << QString() << 1 << "none" << 1500 << 1000 << "" << 0 << 0
                                                      << QList<int>{1, 2, 3} << QStringList{"download end."} << 3;
    QTest::newRow("address change in mid-wait") << 3 << QString() << 1 << "none" << 400 << 60000 << "address change" << 0
                                                << 0 << QList<int>{1, 2, 3} << QStringList{"download end."} << 3;
    QTest::newRow("load end in mid-wait") << 3 << QString() << 1 << "first" << 400 << 60000 << "load end" << 0 << 0
                                          << QList<int>{1, 2, 3} << QStringList{"download end."} << 3;
    QTest::newRow("last page on the first capture") << 4 << QString() << 4 << "none" << -1 << 60000 << "" << 0 << 0
                                                    << QList<int>{4} << QStringList{"missing pages  1 2 3", "download end."} << 1;
    QTest::newRow("curpage left from another book") << 3 << QString() << 1 << "first" << -1 << 60000 << "" << 7 << 0
                                                    << QList<int>{1, 2, 3} << QStringList{"download end."} << 3;
    // A page given up is tried once more before the build (captures 6 to 8 here).
    QTest::newRow("page recovered on the second pass") << 3 << QString() << 1 << "2 3 4" << -1 << 60000 << "" << 0 << 0
                                                       << QList<int>{1, 2, 3}
                                                       << QStringList{"Page 2 could not be captured", "Save page 3 / 3 ...",
                                                                      "Trying once more the pages that could not be captured: 2",
                                                                      "Save page 2 / 3 ...", "download end."}
                                                       << 3;
    QTest::newRow("one page never captured") << 3 << QString() << 1 << "2 3 4 6 7 8" << -1 << 60000 << "" << 0 << 0
                                             << QList<int>{1, 3}
                                             << QStringList{"Page 2 could not be captured",
                                                            "Trying once more the pages that could not be captured: 2",
                                                            "Still missing: 2", "missing pages  2", "download end."}
                                             << 2;
    QTest::newRow("last page never captured") << 3 << QString() << 1 << "3 4 5 6 7 8" << -1 << 60000 << "" << 0 << 0
                                              << QList<int>{1, 2}
                                              << QStringList{"Page 3 could not be captured", "missing pages  3", "download end."} << 2;
    // Pages of an earlier run are not captured again (each capture here would bring an image
    // not loaded): the run goes on where the book stopped, here straight to the build.
    QTest::newRow("every page stored already") << 3 << QString() << 1 << "empty 1 2 3 4 5 6 7 8 9" << -1 << 60000 << "" << 0
                                               << 0 << QList<int>{1, 2, 3}
                                               << QStringList{"Pages 1-3 are stored already", "pdf page 3", "download end."}
                                               << 3;
    QTest::newRow("image loaded on the second attempt") << 3 << QString() << 1 << "empty 2" << -1 << 60000 << "" << 0 << 0
                                                        << QList<int>{1, 2, 3} << QStringList{"download end."} << 3;
    QTest::newRow("capture failing every time") << 2 << QString() << 1 << "all" << -1 << 60000 << "" << 0 << 0 << QList<int>{}
                                                << QStringList{"The page on display could not be captured",
                                                               "The viewer does not move on to another page",
                                                               "No page of the book is stored: no pdf file written", "download end."}
                                                << -1;
    QTest::newRow("viewer leaves the book") << 4 << QString() << 1 << "none" << -1 << 60000 << "" << 0 << 2 << QList<int>{1, 2}
                                            << QStringList{"The viewer shows another book (book.other): download stopped",
                                                           "Ready to download"}
                                            << -1;
    QTest::newRow("TotalPages 0") << 3 << QStringLiteral("") << 2 << "none" << -1 << 60000 << "" << 0 << 0 << QList<int>{2}
                                  << QStringList{"Save page 2 / 0 ...", "The book's page count is not known: no pdf file written",
                                                 "download end."}
                                  << -1;
    QTest::newRow("count undefined") << 3 << QStringLiteral("undefined") << 2 << "none" << -1 << 60000 << "" << 0 << 0
                                     << QList<int>{2}
                                     << QStringList{"Save page 2 / 0 ...", "The book's page count is not known: no pdf file written",
                                                    "download end."}
                                     << -1;
    QTest::newRow("TotalPages 2000000000") << 3 << QStringLiteral("2000000000") << 2 << "none" << -1 << 60000 << "" << 0 << 0
                                           << QList<int>{2}
                                           << QStringList{"Save page 2 / 0 ...", "download end."}
                                           << -1;
}

void TestCaptureScripts::runs()
{
    QFETCH(int, total);
    QFETCH(QString, countText);
    QFETCH(int, start);
    QFETCH(QString, failing);
    QFETCH(int, firstReportDelayMs);
    QFETCH(int, captureTimeoutMs);
    QFETCH(QString, midCapture);
    QFETCH(int, leftoverPage);
    QFETCH(int, leaveOnTurnFrom);
    QFETCH(QList<int>, stored);
    QFETCH(QStringList, logged);
    QFETCH(int, pdfPages);

    viewer->total = total;
    viewer->countText = countText;
    viewer->seq = start;
    viewer->firstReportDelayMs = firstReportDelayMs;
    viewer->leaveOnTurnFrom = leaveOnTurnFrom;
    if (failing == QLatin1String("first"))
        viewer->captureWorks = [](int attempt) { return attempt != 1; };
    else if (failing == QLatin1String("all"))
        viewer->captureWorks = [](int) { return false; };
    else if (failing.startsWith(QLatin1String("empty "))) {
        QList<int> attempts;
        for (const QString &n : failing.split(QLatin1Char(' ')).mid(1))
            attempts << n.toInt();
        viewer->imageLoaded = [attempts](int attempt) { return !attempts.contains(attempt); };
        QVERIFY(QDir().mkpath(PageFolderPath(viewer->bookId)));
        for (int page : stored) {
            QFile file(PageFilePath(viewer->bookId, page));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(ScriptedViewer::pagePng(viewer->bookId, page));
        }
    } else if (failing != QLatin1String("none")) {
        QList<int> attempts;
        for (const QString &n : failing.split(QLatin1Char(' ')))
            attempts << n.toInt();
        viewer->captureWorks = [attempts](int attempt) { return !attempts.contains(attempt); };
    }
    if (midCapture == QLatin1String("address change"))
        viewer->duringCapture = [this] { emit viewer->AddressChange(7, true, viewer->address()); viewer->duringCapture = nullptr; };
    else if (midCapture == QLatin1String("load end"))
        viewer->duringCapture = [this] { emit viewer->LoadEnd(7, true, viewer->address()); viewer->duringCapture = nullptr; };
    newTask();
    task->Settings.patience.waits.clear(); // a page that fails is given up at once
    task->Settings.captureTimeoutMs = captureTimeoutMs;
    book->curpage = leftoverPage;
    emit viewer->ConsoleMessage(QStringLiteral("###book={\"totalSeq\":7}")); // the count of the book before

    const QString bookId = viewer->bookId;
    QSignalSpy runEnds(task.get(), &TDownloadController::WorkingChanged);
    startRun();
    QVERIFY(task->Working());
    runEnds.clear();
    QVERIFY2(waitForEnd(), qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('|'))));

    // Exactly the pages captured, each holding its own image.
    QStringList expectedFiles;
    for (int page : stored)
        expectedFiles << PageFileName(page);
    QCOMPARE(storedPages(bookId), expectedFiles);
    for (int page : stored)
        QCOMPARE(readAll(PageFilePath(bookId, page)), ScriptedViewer::pagePng(bookId, page));
    QCOMPARE(storedPages(QStringLiteral("book.other")), QStringList());

    qsizetype at = 0;
    for (const QString &line : logged) {
        const qsizetype found = log.lines.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("\"%1\" not in order in: %2").arg(line, log.lines.join(QLatin1Char('|')))));
        at = found + 1;
    }
    QCOMPARE(runEnds.count(), 1);
    const QString pdf = AppFolders().dataFolder + bookId + QStringLiteral(".pdf");
    if (pdfPages < 0) {
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(openedFolders.isEmpty());
    } else {
        QVERIFY(PdfCheck::qpdfCheck(pdf));
        QCOMPARE(PdfCheck::pageSizes(pdf).size(), pdfPages);
        QCOMPARE(openedFolders.size(), 1);
    }
    QVERIFY(!task->Ticking());
}

void TestCaptureScripts::sessionExpiredSaysHowToGoOn()
{
    viewer->total = 4;
    viewer->signInOnTurnFrom = 2;
    newTask();
    QSignalSpy finished(task.get(), &TDownloadController::Finished);
    startRun();
    QVERIFY(waitForEnd());
    QCOMPARE(storedPages(viewer->bookId), (QStringList{"0001.jpg", "0002.jpg"}));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().value<RunOutcome>().kind, RunOutcome::LeftBook);
    QVERIFY2(log.lines.mid(log.lines.size() - 2)
                 == (QStringList{"The viewer left the book: download stopped",
                                 "To go on, sign in if the site asks, open the book and press Download: it goes on at "
                                 "the first page not stored"}),
             qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY(!QFile::exists(AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf")));

    // Signed in again and the book opened at page 1: Download goes on at page 3.
    viewer->otherPage.clear();
    viewer->signInOnTurnFrom = 0;
    viewer->seq = 1;
    startRun();
    QVERIFY(waitForEnd());
    QVERIFY2(log.lines.contains(QStringLiteral("Pages 1-2 are stored already: going on at page 3")),
             qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY(viewer->loads.last().endsWith(QLatin1String("seq=3")));
    QCOMPARE(storedPages(viewer->bookId), (QStringList{"0001.jpg", "0002.jpg", "0003.jpg", "0004.jpg"}));
}

void TestCaptureScripts::stopAndDownloadInsideATick()
{
    viewer->total = 3;
    viewer->firstReportDelayMs = 1500;
    newTask();
    startRun();
    // Wait until the first capture is under way, then Stop and Download as a double click
    // on the button's spot would.
    QVERIFY(QTest::qWaitFor([this] { return viewer->captures == 1; }, 5000));
    QVERIFY(task->Busy());
    task->Stop();
    task->Start();
    QVERIFY(!task->Working());                // the new run waits for the capture
    QVERIFY(!task->Ticking());
    QVERIFY(QTest::qWaitFor([this] { return task->Working(); }, 5000)); // then it starts
    QVERIFY(waitForEnd());
    QVERIFY(errors.isEmpty());
    QCOMPARE(storedPages(viewer->bookId), (QStringList{"0001.jpg", "0002.jpg", "0003.jpg"}));
    QCOMPARE(log.lines.count(QStringLiteral("download end.")), 1); // the log was cleared by the new run
    QVERIFY(log.lines.contains(QStringLiteral("save pdf file ") + AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf")));
}

void TestCaptureScripts::closingStepWaitsForRunningBuild()
{
    viewer->total = 2;
    newTask();
    startRun();
    // Rebuild pressed just as the closing tick comes: its build is running when the closing
    // step wants to build.
    bool rebuilt = false;
    connect(task.get(), &TDownloadController::TickCountChanged, this, [&] {
        if (task->State() == TaskState::Build && !rebuilt) {
            rebuilt = true;
            task->Rebuild();
        }
    });
    QVERIFY(waitForEnd());
    QVERIFY(rebuilt);
    QVERIFY(log.lines.contains(QStringLiteral("A pdf file is being built already, wait....")));
    const QString save = QStringLiteral("save pdf file ") + AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf");
    QCOMPARE(log.lines.count(save), 2);
    // The run ends only after its own build, which comes after Rebuild's.
    QCOMPARE(log.lines.last(), QStringLiteral("download end."));
    QCOMPARE(log.lines.at(log.lines.size() - 2), save);
    QCOMPARE(openedFolders.size(), 2);
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::closeDuringBuild()
{
    viewer->total = 2;
    newTask();
    startRun();
    QVERIFY(waitForEnd());
    const QString pdf = AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf");
    const QByteArray earlier = readAll(pdf);
    QVERIFY(!earlier.isEmpty());
    openedFolders.clear();

    // A book long enough that the build is still running when the window closes.
    storeLongBook(200);
    emit viewer->ConsoleMessage(QStringLiteral("###book={\"totalSeq\":200}"));
    task->Rebuild();
    QVERIFY(QTest::qWaitFor([this] { return log.lines.last().startsWith(QLatin1String("pdf page ")); }, 5000));
    task->Close(); // cancels at the next page and waits for it
    QCoreApplication::processEvents(); // what the build posted before it ended changes nothing
    QCOMPARE(readAll(pdf), earlier);
    QCOMPARE(QDir(AppFolders().dataFolder).entryList({QStringLiteral("*.part*")}, QDir::Files), QStringList());
    QVERIFY(openedFolders.isEmpty());
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::stopDuringClosingBuild()
{
    viewer->total = 2;
    newTask();
    startRun();
    QVERIFY(waitForEnd());
    const QString pdf = AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf");
    const QByteArray earlier = readAll(pdf);
    QVERIFY(!earlier.isEmpty());

    // A book long enough that its closing build is still running when Stop comes: the run
    // starts on its last page, so the build follows the first capture.
    storeLongBook(199);
    viewer->total = 200;
    viewer->seq = 200;
    openedFolders.clear();
    startRun();
    QVERIFY(QTest::qWaitFor([this] { return log.lines.last().startsWith(QLatin1String("pdf page ")); }, 20000));
    QSignalSpy working(task.get(), &TDownloadController::WorkingChanged);
    QSignalSpy progressEnded(writer.get(), &RunLogWriter::ProgressEnded);
    task->Stop();
    QVERIFY(!task->Working());
    QCOMPARE(log.lines.mid(log.lines.size() - 2), (QStringList{"download end.", "user abort"}));
    QVERIFY(KeepAwake::Requested()); // the build's thread has not ended yet
    QVERIFY(waitForEnd());
    QVERIFY(!KeepAwake::Requested());

    QCOMPARE(log.lines.last(), QStringLiteral("user abort"));
    QCOMPARE(log.lines.count(QStringLiteral("download end.")), 1);
    QCOMPARE(log.lines.count(QStringLiteral("user abort")), 1);
    QCOMPARE(working.count(), 1);
    QCOMPARE(progressEnded.count(), 1);
    QCOMPARE(readAll(pdf), earlier);
    QCOMPARE(QDir(AppFolders().dataFolder).entryList({QStringLiteral("*.part*")}, QDir::Files), QStringList());
    QVERIFY(openedFolders.isEmpty());
    QVERIFY(!task->Ticking());
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::stopWhileClosingBuildWaitsForRebuild()
{
    viewer->total = 3;
    newTask();
    // Rebuild pressed just as the run comes to its build: the run's build waits for it. Stop
    // comes while it waits.
    connect(task.get(), &TDownloadController::Event, this, [this](const RunEvent &event) {
        if (std::holds_alternative<RunEvents::BuildRefused>(event))
            QTimer::singleShot(0, task.get(), &TDownloadController::Stop);
    });
    connect(task.get(), &TDownloadController::TickCountChanged, this, [this] {
        if (task->State() == TaskState::Build)
            task->Rebuild();
    });
    QSignalSpy finished(task.get(), &TDownloadController::Finished);
    startRun();
    QVERIFY2(waitForEnd(), qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY2(log.lines.contains(QStringLiteral("A pdf file is being built already, wait....")), qPrintable(log.lines.join(QLatin1Char('|'))));
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().value<RunOutcome>().kind, RunOutcome::Stopped);

    // Download works again: the stopped run left nothing that keeps the next one waiting.
    disconnect(task.get(), &TDownloadController::TickCountChanged, this, nullptr);
    startRun();
    QVERIFY(task->Working());
    QVERIFY(waitForEnd());
    QCOMPARE(log.lines.last(), QStringLiteral("download end."));
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::viewerLeavesDuringClosingBuild()
{
    viewer->total = 3;
    newTask();
    // Every page is in when the viewer goes to a sign-in page: the build goes on.
    connect(task.get(), &TDownloadController::Event, this, [this](const RunEvent &event) {
        if (!std::holds_alternative<RunEvents::BuildStarted>(event))
            return;
        viewer->otherPage = viewer->host + QStringLiteral("/login");
        emit viewer->AddressChange(7, true, viewer->address());
        emit viewer->LoadEnd(7, true, viewer->address());
    });
    QSignalSpy finished(task.get(), &TDownloadController::Finished);
    startRun();
    QVERIFY(waitForEnd());
    QCOMPARE(finished.count(), 1);
    QCOMPARE(finished.first().first().value<RunOutcome>().kind, RunOutcome::Complete);
    QCOMPARE(PdfCheck::pageSizes(AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf")).size(), 3);
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::pageFolderThatCannotBeMadeStartsNoRun()
{
    // A file where the book's folder goes.
    QFile blocker(PageFolderPath(viewer->bookId).chopped(1));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    newTask();
    QSignalSpy working(task.get(), &TDownloadController::WorkingChanged);
    identifyBook();
    QVERIFY_THROWS_EXCEPTION(AppError, task->Start());
    QCOMPARE(working.count(), 0);
    QVERIFY(!task->Working());
    QVERIFY(!task->Ticking());
    QVERIFY(!KeepAwake::Requested());
}

void TestCaptureScripts::reportedPageOutsideTheBook_data()
{
    QTest::addColumn<QString>("reported");
    QTest::newRow("below the book") << "0";
    QTest::newRow("past the book") << "4";
    QTest::newRow("the smallest int") << "-2147483648";
    QTest::newRow("past the largest book") << "2147483647";
    QTest::newRow("no number") << "iv";
}

void TestCaptureScripts::reportedPageOutsideTheBook()
{
    QFETCH(QString, reported);
    viewer->total = 3;
    viewer->reportedPage = reported;
    newTask();
    task->Settings.patience.waits.clear();
    startRun();
    QVERIFY2(waitForEnd(), qPrintable(log.lines.join(QLatin1Char('|'))));
    QCOMPARE(QDir(PageFolderPath(viewer->bookId)).entryList(QDir::Files), QStringList{"book.json"});
    QVERIFY2(log.lines.contains(QStringLiteral("The page image is not usable: the viewer reports page \"%1\", which the book does not have").arg(reported)),
             qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::unsavedBookRecordIsLogged()
{
    // A folder where the book's record should be: it cannot be written, the run goes on.
    const QString record = PageFolderPath(viewer->bookId) + QStringLiteral("book.json");
    QVERIFY(QDir().mkpath(record));
    viewer->total = 2;
    newTask();
    startRun();
    QVERIFY(waitForEnd());
    QVERIFY2(log.lines.contains(QStringLiteral("Cannot write file \"%1\": a later Rebuild will not know the book's title").arg(record)),
             qPrintable(log.lines.join(QLatin1Char('|'))));
    QCOMPARE(storedPages(viewer->bookId), (QStringList{"0001.jpg", "0002.jpg"}));
    QVERIFY(log.lines.contains(QStringLiteral("save pdf file ") + AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf")));
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::unusableIdStartsNoRun_data()
{
    QTest::addColumn<QString>("bookId");
    QTest::newRow("colon and question mark") << "%3A%3F";
    QTest::newRow("empty") << "";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("only removed characters") << ":/%3F";
}

void TestCaptureScripts::unusableIdStartsNoRun()
{
    QFETCH(QString, bookId);
    newTask();
    book->getID(viewer->address()); // the last usable book
    const QString usableId = book->id, usableDirid = book->dirid;
    viewer->bookId = bookId;
    QSignalSpy working(task.get(), &TDownloadController::WorkingChanged);
    QString refusal;
    try {
        task->Start();
    } catch (const AppError &e) {
        refusal = e.message();
    }
    QCOMPARE(refusal, TvBookobj::UnusableIdReason(viewer->address()));
    QVERIFY(refusal.endsWith(QLatin1String(": no download")));
    QVERIFY(!task->Working());
    QCOMPARE(working.count(), 0);
    QVERIFY(!task->Ticking());
    QVERIFY(!KeepAwake::Requested());
    QCOMPARE(book->id, usableId);
    QCOMPARE(book->dirid, usableDirid);
    QCOMPARE(log.lines, QStringList()); // the log of the last book stays

    // The page itself offers no Download.
    QSignalSpy otherPage(&task->Display(), &TBookOnDisplay::OtherPageLoaded);
    emit viewer->LoadEnd(7, true, viewer->address());
    QCOMPARE(otherPage.count(), 1);
    QCOMPARE(log.lines, (QStringList{QString(), refusal}));
}

void TestCaptureScripts::goingOnAtThePageOnDisplay()
{
    // Pages 1-4 asked for, 1-2 stored, and the viewer shows page 3: the run begins there, as
    // it says.
    viewer->total = 4;
    viewer->seq = 3;
    QVERIFY(QDir().mkpath(PageFolderPath(viewer->bookId)));
    for (int page = 1; page <= 2; ++page) {
        QFile file(PageFilePath(viewer->bookId, page));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ScriptedViewer::pagePng(viewer->bookId, page));
    }
    newTask();
    task->SetPageRange(PageRange{1, 4});
    startRun();
    QVERIFY(waitForEnd());
    QVERIFY2(log.lines.contains(QStringLiteral("Pages 1-2 are stored already: going on at page 3")),
             qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY(viewer->loads.isEmpty()); // the page on display is captured as it is
    QCOMPARE(storedPages(viewer->bookId).size(), 4);
}

void TestCaptureScripts::pageProcessEnds_data()
{
    QTest::addColumn<QString>("fate");        // what capturing the failing page does to the process
    QTest::addColumn<int>("times");           // so many times in all
    QTest::addColumn<int>("failing");         // the page it does it on
    QTest::addColumn<bool>("pageInAddress");  // the viewer's address names the page
    QTest::addColumn<QList<int>>("stored");
    QTest::addColumn<QStringList>("logged");  // lines the log must hold, in this order
    QTest::addColumn<int>("ended");           // page processes the program ended itself
    QTest::newRow("killed once") << "kill" << 1 << 2 << true << QList<int>{1, 2, 3}
                                 << QStringList{"The browser's page process ended (crashed): loading page 2 again", "Save page 3 / 3 ..."} << 0;
    // Each death counts as a try: three, and the page is given up; the second pass tries it
    // (three more), and the build goes on without it.
    QTest::newRow("page that ends it each time") << "kill" << 100 << 2 << true << QList<int>{1, 3}
                                                 << QStringList{"The browser's page process ended (crashed): loading page 2 again",
                                                                "The browser's page process ended (crashed)",
                                                                "Page 2 could not be captured", "Save page 3 / 3 ...",
                                                                "Trying once more the pages that could not be captured: 2",
                                                                "Still missing: 2", "missing pages  2"}
                                                 << 0;
    QTest::newRow("stops answering once") << "hang" << 1 << 2 << true << QList<int>{1, 2, 3}
                                          << QStringList{"The browser's page process stopped answering: loading page 2 again",
                                                         "Save page 3 / 3 ..."}
                                          << 1;
    // Nothing stored yet and no page in the address: the viewer is loaded again as it was.
    QTest::newRow("killed on a page nothing names") << "kill" << 1 << 1 << false << QList<int>{1, 2, 3}
                                                    << QStringList{"The browser's page process ended (crashed): loading the page again",
                                                                   "Save page 3 / 3 ..."}
                                                    << 0;
}

void TestCaptureScripts::pageProcessEnds()
{
    QFETCH(QString, fate);
    QFETCH(int, times);
    QFETCH(int, failing);
    QFETCH(bool, pageInAddress);
    QFETCH(QList<int>, stored);
    QFETCH(QStringList, logged);
    QFETCH(int, ended);
    viewer->total = 3;
    viewer->pageInAddress = pageInAddress;
    int left = times;
    viewer->pageProcess = [&](int seq) { return seq == failing && left-- > 0 ? fate : QString(); };
    newTask();
    task->Settings.captureTimeoutMs = 300; // a page that does not answer is known soon
    startRun();
    QVERIFY2(waitForEnd(), qPrintable(log.lines.join(QLatin1Char('|'))));
    QStringList files;
    for (int page : stored)
        files << PageFileName(page);
    QCOMPARE(storedPages(viewer->bookId), files);
    qsizetype at = 0;
    for (const QString &line : logged) {
        const qsizetype found = log.lines.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable(QStringLiteral("\"%1\" not in order in: %2").arg(line, log.lines.join(QLatin1Char('|')))));
        at = found + 1;
    }
    for (const QString &url : std::as_const(viewer->loads))
        QVERIFY2(BookPageFromUrl(url) > 0 || !url.contains(QLatin1String("seq=")), qPrintable(url)); // never page 0
    QCOMPARE(viewer->processesEnded, ended);
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::imageOfAnotherOriginFetched()
{
    viewer->total = 2;
    viewer->foreignImages = true;
    newTask();
    startRun();
    QVERIFY(waitForEnd());
    QCOMPARE(viewer->fetches, 2);
    for (int page = 1; page <= 2; ++page)
        QCOMPARE(readAll(PageFilePath(viewer->bookId, page)), ScriptedViewer::pagePng(viewer->bookId, page));
    QVERIFY2(log.lines.contains(QStringLiteral("pages are the site's PNG files, downloaded by the browser from images.test")),
             qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY(errors.isEmpty());
}

void TestCaptureScripts::storedPageTheBuildCannotRead()
{
    // Three pages stored by an earlier run, page 2 cut short since.
    viewer->total = 3;
    QVERIFY(QDir().mkpath(PageFolderPath(viewer->bookId)));
    for (int page = 1; page <= 3; ++page) {
        QFile file(PageFilePath(viewer->bookId, page));
        QVERIFY(file.open(QIODevice::WriteOnly));
        const QByteArray png = ScriptedViewer::pagePng(viewer->bookId, page);
        file.write(page == 2 ? png.left(png.size() / 2) : png);
    }
    newTask();
    // Rebuilt as it is: page 2 is listed with its reason, the others are in the PDF.
    book->getID(viewer->address());
    emit viewer->ConsoleMessage(QStringLiteral("###book={\"totalSeq\":3}"));
    task->Rebuild();
    const QString pdf = AppFolders().dataFolder + viewer->bookId + QStringLiteral(".pdf");
    QVERIFY2(QTest::qWaitFor([&] { return log.lines.contains(QStringLiteral("save pdf file ") + pdf); }, 20000),
             qPrintable(log.lines.join(QLatin1Char('|')) + errors.join(QLatin1Char('|'))));
    QVERIFY2(log.lines.filter(QRegularExpression(QStringLiteral("^missing pages  2 \\(cannot be read: .+\\)$"))).size() == 1,
             qPrintable(log.lines.join(QLatin1Char('|'))));
    QCOMPARE(PdfCheck::pageSizes(pdf).size(), 2);
    // Downloaded again: page 2 counts as not stored and is captured again.
    startRun();
    QVERIFY(waitForEnd());
    QCOMPARE(readAll(PageFilePath(viewer->bookId, 2)), ScriptedViewer::pagePng(viewer->bookId, 2));
    QVERIFY2(log.lines.contains(QStringLiteral("Page 1 is stored already: going on at page 2")), qPrintable(log.lines.join(QLatin1Char('|'))));
    QCOMPARE(PdfCheck::pageSizes(pdf).size(), 3);
    QVERIFY(errors.isEmpty());
}

QM_TEST_MAIN(TestCaptureScripts)
#include "tst_capturescripts.moc"
