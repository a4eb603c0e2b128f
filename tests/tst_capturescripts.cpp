// The download run driven tick by tick against a scripted stand-in for the viewer: console
// tags, the script runner's waits, and the run's state machine in the awkward cases.
#include "activitylog.h"
#include "apperror.h"
#include "bookpage.h"
#include "consoletags.h"
#include "downloadcontroller.h"
#include "runlog.h"
#include "errorreport.h"
#include "folders.h"
#include "ibrowser.h"
#include "keepawake.h"
#include "logrecorder.h"
#include "pagefile.h"
#include "pagescripts.h"
#include "pdfcheck.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>
#include <deque>

namespace {

const QString PageScriptText = QStringLiteral("/* page script */");

// A viewer page as the capture code sees it through the browser: it runs queued scripts one
// after the other, later, and prints their console messages in order, as the engine does.
class ScriptedViewer : public IBrowser
{
public:
    QString host = QStringLiteral("http://lib.test");
    QString bookId = QStringLiteral("book.a");
    int seq = 1;
    int total = 3;                        // printed as the page count
    QString countText;                    // printed instead of total when set
    int reportDelayMs = 5;                // how long the page takes to print its report
    int firstReportDelayMs = -1;          // the first capture's delay, when different
    std::function<bool(int attempt)> captureWorks = [](int) { return true; };
    std::function<bool(int attempt)> imageLoaded = [](int) { return true; }; // else a 0 x 0 canvas
    std::function<void()> duringCapture;  // runs while the page produces a report
    int leaveOnTurnFrom = 0;              // Next Page on this page opens another book
    int signInOnTurnFrom = 0;             // Next Page on this page finds the session expired
    QString otherPage;                    // the address of a page that is not the viewer
    bool goesOn = false;                  // the page script reports after its probe, as the real one
    QString reportMembers;                // further members of the report (",\"source\":\"site\"")
    bool exists = true;

    int captures = 0;                     // page scripts run
    QStringList scripts;

    QStringList loads;                    // addresses the program opened

    bool HasBrowser() const override { return exists; }
    void LoadURL(const QString &url) override
    {
        loads << url;
        const int page = BookPageFromUrl(url);
        QTimer::singleShot(0, this, [this, page] {
            if (page > 0)
                seq = page;
            emit AddressChange(7, true, address());
            emit LoadEnd(7, true, address());
        });
    }
    int BrowserId() const override { return exists ? 7 : 0; }
    QString MainFrameUrl() const override { return exists ? address() : QString(); }
    QString address() const
    {
        return otherPage.isEmpty() ? host + QStringLiteral("/cgi/pt?id=%1&seq=%2").arg(bookId).arg(seq) : otherPage;
    }

    void ExecuteJavaScript(const QString &code) override
    {
        scripts << code;
        m_queue.push_back(code);
        if (m_queue.size() == 1)
            QTimer::singleShot(0, this, [this] { runNext(); });
    }

    static QByteArray pagePng(const QString &book, int page)
    {
        // Big enough to count as a page image (200 bytes and more), different per page.
        QImage image(60 + page, 40, QImage::Format_RGB32);
        const uint seed = qHash(book) + uint(page) * 2654435761u;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb((seed >> (x % 24)) & 0xFF, (x * y + page) & 0xFF, (y * 9 + seed) & 0xFF));
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    }

private:
    // A report of the page on display; one of an image not loaded yet holds an empty canvas.
    QString reportText(bool loaded = true) const
    {
        const QString image = loaded ? QStringLiteral("data:image/png;base64,") + QString::fromLatin1(pagePng(bookId, seq).toBase64())
                                     : QStringLiteral("data:,");
        return QStringLiteral("{\"total\":%1,\"currpage\":\"%2\",\"img\":\"%3\"%4}").arg(total).arg(seq).arg(image, reportMembers);
    }

    void runNext()
    {
        if (m_queue.empty())
            return;
        const QString code = m_queue.front();
        int delay = 0;
        QStringList messages;
        std::function<void()> after;
        if (code.startsWith(QLatin1String("var QMscript="))) {
            m_scriptNumber = code.mid(13).chopped(1);
        } else if (code == PageScriptText && goesOn) {
            // Says at once that it goes on; prints its report and tagged end later, after
            // the probe queued behind it.
            const int attempt = ++captures;
            const QString number = m_scriptNumber;
            messages << QStringLiteral("###pending=") + number;
            QStringList later;
            if (captureWorks(attempt))
                later << QStringLiteral("###page@%1=").arg(number) + reportText(imageLoaded(attempt));
            later << QStringLiteral("###end@") + number;
            QTimer::singleShot(reportDelayMs, this, [this, later] {
                for (const QString &m : later)
                    emit ConsoleMessage(m);
            });
        } else if (code == PageScriptText) {
            const int attempt = ++captures;
            delay = attempt == 1 && firstReportDelayMs >= 0 ? firstReportDelayMs : reportDelayMs;
            if (captureWorks(attempt)) {
                messages << QStringLiteral("###page=") + reportText(imageLoaded(attempt)) << QStringLiteral("[object Object]") << QStringLiteral("###end");
            }
            if (duringCapture)
                QTimer::singleShot(delay / 2, this, duringCapture);
        } else if (code == TotalPageScript()) {
            messages << QStringLiteral("###totalpage=") + (countText.isNull() ? QString::number(total) : countText);
        } else if (code == NextPageScript()) {
            after = [this] { turn(); };
        } else if (code.startsWith(QLatin1String("console.debug(\"###scriptdone="))) {
            messages << code.section(QLatin1Char('"'), 1, 1);
        }
        QTimer::singleShot(delay, this, [this, messages, after] {
            for (const QString &m : messages)
                emit ConsoleMessage(m);
            if (after)
                after();
            m_queue.pop_front();
            runNext();
        });
    }

    void turn()
    {
        if (signInOnTurnFrom && seq == signInOnTurnFrom) {
            otherPage = host + QStringLiteral("/login?return=book");
            emit AddressChange(7, true, address());
            emit LoadEnd(7, true, address());
            return;
        }
        if (leaveOnTurnFrom && seq == leaveOnTurnFrom) {
            bookId = QStringLiteral("book.other");
            seq = 1;
            emit AddressChange(7, true, address());
            emit LoadEnd(7, true, address());
            return;
        }
        if (seq >= total)
            return; // the button does nothing on the last page
        ++seq;
        emit AddressChange(7, true, address()); // the viewer's address follows the page
    }

    std::deque<QString> m_queue;
    QString m_scriptNumber;
};

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
    void totalPages_data();
    void totalPages();
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
    void closeDuringBuild();
    void stopDuringClosingBuild();
    void unsavedBookRecordIsLogged();
    void unusableIdStartsNoRun_data();
    void unusableIdStartsNoRun();

private:
    void newTask();
    void startRun();
    bool waitForEnd(int timeoutMs = 30000);
    QStringList storedPages(const QString &book) const;

    LogRecorder log;
    QStringList errors;
    std::unique_ptr<ScriptedViewer> viewer;
    std::unique_ptr<TePubobj> book;
    std::unique_ptr<TDownloadController> task;
    QStringList openedFolders;
    int runNumber = 0;
};

void TestCaptureScripts::initTestCase()
{
    SetupFolders();
    SetActivityLogSink(&log);
    SetErrorReporter([this](const QString &message) { errors << message; });
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
    book.reset();
    viewer.reset();
}

void TestCaptureScripts::newTask()
{
    book = std::make_unique<TePubobj>();
    task = std::make_unique<TDownloadController>(*viewer, *book, PageScriptText);
    task->SetTickInterval(1); // ticks are counted, not timed
    task->RunPageWaitTicks = 30;
    connect(task.get(), &TDownloadController::LogLine, this, &ShowLogLine);
    connect(task.get(), &TDownloadController::Failed, this, &ReportError);
    connect(task.get(), &TDownloadController::AwakeNeeded, this, [](bool needed) {
        needed ? KeepAwake::Request() : KeepAwake::Release();
    });
    connect(task.get(), &TDownloadController::OpenOutputFolder, this, [this] { openedFolders << AppFolders().dataFolder; });
}

void TestCaptureScripts::startRun()
{
    // The book page was detected first: the window asked for the count.
    task->scripts().ExecScript(TotalPageScript(), 5000);
    QTest::qWait(50);
    task->Start();
}

bool TestCaptureScripts::waitForEnd(int timeoutMs)
{
    return QTest::qWaitFor([this] { return !task->run().Working && !task->Busy(); }, timeoutMs);
}

QStringList TestCaptureScripts::storedPages(const QString &bookId) const
{
    return QDir(PageFolderPath(bookId)).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
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
    QTest::newRow("page and totalpage: page wins") << "###totalpage=5 ###page=x" << int(ConsoleTag::Page);
    QTest::newRow("title") << "###title=Book A=B" << int(ConsoleTag::Title);
    QTest::newRow("ignored tag") << "###Totaldiv=3" << int(ConsoleTag::Ignored);
    QTest::newRow("ignored tag hides totalpage") << "###more=###totalpage=5" << int(ConsoleTag::Ignored);
    QTest::newRow("total pages") << "###totalpage=250" << int(ConsoleTag::TotalPage);
    QTest::newRow("probe") << "###scriptdone=12" << int(ConsoleTag::ScriptDone);
    QTest::newRow("probe text inside another message") << "x ###scriptdone=12" << int(ConsoleTag::None);
    QTest::newRow("untagged") << "[object Object]" << int(ConsoleTag::None);
}

void TestCaptureScripts::consoleTags()
{
    QFETCH(QString, text);
    QFETCH(int, tag);
    QCOMPARE(int(ClassifyConsoleText(text)), tag);
}

void TestCaptureScripts::totalPages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("total");
    QTest::addColumn<QStringList>("logged");
    QTest::newRow("count") << "###totalpage=250" << 250 << QStringList{"Total pages 250"};
    QTest::newRow("empty") << "###totalpage=" << 0 << QStringList{"Total pages 0"};
    QTest::newRow("two values") << "###totalpage=1=2" << 0 << QStringList{"Total pages 0"};
    // A count that is none is this book's unknown count, never the one of the book before.
    QTest::newRow("undefined") << "###totalpage=undefined" << 0 << QStringList();
    QTest::newRow("garbage") << "###totalpage=12 pages" << 0 << QStringList();
    QTest::newRow("negative") << "###totalpage=-5" << 0 << QStringList();
    QTest::newRow("more than a book has") << "###totalpage=2000000000" << 0
                                          << QStringList{"Total pages 2000000000 is more than a book has: not taken"};
    QTest::newRow("title line") << "###title=Book A=B" << 7 << QStringList{"Book A=B"};
}

void TestCaptureScripts::totalPages()
{
    QFETCH(QString, text);
    QFETCH(int, total);
    QFETCH(QStringList, logged);
    newTask();
    task->scripts().HandleConsoleText(QStringLiteral("###totalpage=7"));
    log.lines.clear();
    task->scripts().HandleConsoleText(text);
    QCOMPARE(task->TotalPages(), total);
    QCOMPARE(log.lines, logged);
}

void TestCaptureScripts::reportOfAGivenUpScriptIsDropped()
{
    newTask();
    viewer->reportDelayMs = 300;
    QList<ScriptOutcome> outcomes;
    // The first script is given up before its report comes; the report must not be taken
    // for the second script's, which prints nothing.
    task->scripts().ExecScript(PageScriptText, 50, [&](const ScriptOutcome &o) { outcomes << o; });
    viewer->captureWorks = [](int attempt) { return attempt == 1; };
    task->scripts().ExecScript(PageScriptText, 5000, [&](const ScriptOutcome &o) { outcomes << o; });
    QVERIFY(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 5000));
    QVERIFY(!outcomes[0].ended);
    QVERIFY(outcomes[0].report.isEmpty()); // given up at its deadline
    QVERIFY(!outcomes[1].ended);
    QVERIFY(outcomes[1].report.isEmpty()); // known to be over from its probe, not the deadline
    QVERIFY(!task->scripts().Busy());
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
    newTask();
    viewer->goesOn = true;
    viewer->reportDelayMs = 300;
    viewer->captureWorks = [](int attempt) { return attempt == 1; };
    QList<ScriptOutcome> outcomes;
    task->scripts().ExecScript(PageScriptText, firstDeadlineMs, [&](const ScriptOutcome &o) { outcomes << o; });
    task->scripts().ExecScript(PageScriptText, 5000, [&](const ScriptOutcome &o) { outcomes << o; });
    if (replaceDocument) {
        QTest::qWait(100); // both probes are in, neither report
        QVERIFY(outcomes.isEmpty());
        QVERIFY(task->scripts().Busy());
        task->scripts().DocumentReplaced();
    }
    QVERIFY(QTest::qWaitFor([&] { return outcomes.size() == 2; }, 5000));
    QTest::qWait(400); // late output changes nothing
    QCOMPARE(outcomes.size(), 2);
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(!outcomes[i].report.isEmpty(), reported[i]);
        QCOMPARE(outcomes[i].ended, ended[i]);
    }
    QVERIFY(!task->scripts().Busy());
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
    newTask();
    viewer->exists = false;
    bool called = false;
    task->scripts().ExecScript(PageScriptText, 5000, [&](const ScriptOutcome &o) {
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
    task->run().TickCount = 5;
    emit viewer->AddressChange(7, true, viewer->address());
    QCOMPARE(task->run().TickCount, 5); // no run: the count stays
    task->scripts().HandleConsoleText(QStringLiteral("###totalpage=3"));
    task->SetTickInterval(3600000); // no tick in this test
    task->Start();
    emit viewer->AddressChange(7, true, viewer->address());
    QCOMPARE(task->run().TickCount, 28);
    task->run().TickCount = 3;
    emit viewer->AddressChange(7, false, viewer->address());
    QCOMPARE(task->run().TickCount, 3); // a sub-frame
    emit viewer->AddressChange(8, true, viewer->address());
    QCOMPARE(task->run().TickCount, 3); // a pop-up window
    QVERIFY(task->run().Working);
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
    task->SitePatience.waits.clear(); // a page that fails is given up at once
    task->CaptureTimeoutMs = captureTimeoutMs;
    book->curpage = leftoverPage;
    task->scripts().HandleConsoleText(QStringLiteral("###totalpage=7")); // the count of the book before

    QSignalSpy runEnds(task.get(), &TDownloadController::WorkingChanged);
    startRun();
    QVERIFY(task->run().Working);
    runEnds.clear();
    QVERIFY2(waitForEnd(), qPrintable(log.lines.join(QLatin1Char('|'))));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('|'))));

    // Exactly the pages captured, each holding its own image.
    QStringList expectedFiles;
    for (int page : stored)
        expectedFiles << PageFileName(page);
    const QString bookId = task->run().bookId;
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
    QVERIFY(!task->run().Working);            // the new run waits for the capture
    QVERIFY(!task->Ticking());
    QVERIFY(QTest::qWaitFor([this] { return task->run().Working; }, 5000)); // then it starts
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
        if (task->run().state == TaskState::Build && !rebuilt) {
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
    QImage grain(1200, 1600, QImage::Format_RGB32);
    for (int y = 0; y < grain.height(); ++y)
        for (int x = 0; x < grain.width(); ++x)
            grain.setPixel(x, y, qRgb(x * 7 % 251, (x * y) % 253, y * 13 % 241));
    QVERIFY(grain.save(PageFilePath(viewer->bookId, 3), "PNG"));
    for (int page = 4; page <= 200; ++page)
        QVERIFY(QFile::copy(PageFilePath(viewer->bookId, 3), PageFilePath(viewer->bookId, page)));
    task->scripts().HandleConsoleText(QStringLiteral("###totalpage=200"));
    task->Rebuild();
    QVERIFY(QTest::qWaitFor([this] { return log.lines.last().startsWith(QLatin1String("pdf page ")); }, 5000));
    task->Close(); // cancels at the next page and waits for it
    QTest::qWait(100);
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
    QImage grain(1200, 1600, QImage::Format_RGB32);
    for (int y = 0; y < grain.height(); ++y)
        for (int x = 0; x < grain.width(); ++x)
            grain.setPixel(x, y, qRgb(x * 7 % 251, (x * y) % 253, y * 13 % 241));
    QVERIFY(grain.save(PageFilePath(viewer->bookId, 3), "PNG"));
    for (int page = 4; page < 200; ++page)
        QVERIFY(QFile::copy(PageFilePath(viewer->bookId, 3), PageFilePath(viewer->bookId, page)));
    viewer->total = 200;
    viewer->seq = 200;
    openedFolders.clear();
    startRun();
    QVERIFY(QTest::qWaitFor([this] { return log.lines.last().startsWith(QLatin1String("pdf page ")); }, 20000));
    QSignalSpy working(task.get(), &TDownloadController::WorkingChanged);
    QSignalSpy progressEnded(task.get(), &TDownloadController::ProgressEnded);
    task->Stop();
    QVERIFY(!task->run().Working);
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
    QVERIFY(!task->run().Working);
    QCOMPARE(working.count(), 0);
    QVERIFY(!task->Ticking());
    QVERIFY(!KeepAwake::Requested());
    QCOMPARE(book->id, usableId);
    QCOMPARE(book->dirid, usableDirid);
    QCOMPARE(log.lines, QStringList()); // the log of the last book stays

    // The page itself offers no Download.
    QSignalSpy otherPage(task.get(), &TDownloadController::OtherPageLoaded);
    emit viewer->LoadEnd(7, true, viewer->address());
    QCOMPARE(otherPage.count(), 1);
    QCOMPARE(log.lines, (QStringList{QString(), refusal}));
}

QM_TEST_MAIN(TestCaptureScripts)
#include "tst_capturescripts.moc"
