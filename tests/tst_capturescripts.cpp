// The console-tag parser and the script waits, against a scripted stand-in browser.
#include "activitylog.h"
#include "logrecorder.h"
#include "consoletags.h"
#include "folders.h"
#include "ibrowser.h"
#include "pagefile.h"
#include "runstate.h"
#include "scriptrunner.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QtTest>

namespace {

// A browser that answers each script with console messages given by the test, delivered
// after a delay the way the real engine delivers them: later, through the event loop.
class ScriptedBrowser : public IBrowser
{
public:
    bool exists = true;
    QStringList answer;
    int answerDelayMs = 50;
    QStringList scriptsRun;

    bool HasBrowser() const override { return exists; }
    QString MainFrameUrl() const override { return exists ? QStringLiteral("http://h/cgi/pt?id=x") : QString(); }
    void ExecuteJavaScript(const QString &code) override
    {
        scriptsRun << code;
        const QStringList messages = answer;
        QTimer::singleShot(answerDelayMs, [messages] {
            for (const QString &m : messages)
                HandleConsoleText(m);
        });
    }
};

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
    void execScriptWaitsForEndMarker();
    void execScriptWithoutMarkerTakesFullWait();
    void execScriptWithoutBrowser();
    void savepageReportLengthRule_data();
    void savepageReportLengthRule();

private:
    LogRecorder log;
};

void TestCaptureScripts::initTestCase()
{
    SetupFolders();
    SetActivityLogSink(&log);
}

void TestCaptureScripts::init()
{
    Run() = RunState();
    Run().LastPageReport = QStringLiteral("old");
    Run().TotalPages = 7;
    log.lines.clear();
}

void TestCaptureScripts::cleanup()
{
    Run() = RunState();
}

void TestCaptureScripts::consoleTags_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ended");
    QTest::addColumn<QString>("report");
    QTest::addColumn<int>("total");
    QTest::addColumn<QStringList>("logged");
    const QStringList none;
    QTest::newRow("end marker") << "###end" << true << "old" << 7 << none;
    QTest::newRow("end marker with a blank") << "###end " << false << "old" << 7 << none;
    QTest::newRow("end marker in capitals") << "###END" << false << "old" << 7 << none;
    QTest::newRow("page report") << "###page={\"currpage\":\"3\"}" << false << "{\"currpage\":\"3\"}" << 7 << none;
    QTest::newRow("page without equals") << "###page" << false << "" << 7 << none;
    QTest::newRow("pagetitle counts as page") << "x ###pagetitle=abc=d" << false << "abc=d" << 7 << none;
    QTest::newRow("page and totalpage: page wins") << "###totalpage=5 ###page=x" << false << "5 ###page=x" << 7 << none;
    QTest::newRow("title") << "###title=Book A=B" << false << "old" << 7 << QStringList{"Book A=B"};
    QTest::newRow("ignored tag") << "###Totaldiv=3" << false << "old" << 7 << none;
    QTest::newRow("ignored tag hides totalpage") << "###more=###totalpage=5" << false << "old" << 7 << none;
    QTest::newRow("total pages") << "###totalpage=250" << false << "old" << 250 << QStringList{"Total pages 250"};
    QTest::newRow("total pages empty") << "###totalpage=" << false << "old" << 0 << QStringList{"Total pages 0"};
    QTest::newRow("total pages 1=2") << "###totalpage=1=2" << false << "old" << 0 << QStringList{"Total pages 0"};
    QTest::newRow("total pages undefined") << "###totalpage=undefined" << false << "old" << 7 << none;
    QTest::newRow("untagged") << "[object Object]" << false << "old" << 7 << none;
}

void TestCaptureScripts::consoleTags()
{
    QFETCH(QString, text);
    QFETCH(bool, ended);
    QFETCH(QString, report);
    QFETCH(int, total);
    QFETCH(QStringList, logged);
    HandleConsoleText(text);
    QCOMPARE(Run().ScriptEnded, ended);
    QCOMPARE(Run().LastPageReport, report);
    QCOMPARE(Run().TotalPages, total);
    QCOMPARE(log.lines, logged);
}

void TestCaptureScripts::execScriptWaitsForEndMarker()
{
    ScriptedBrowser browser;
    browser.answer = {QStringLiteral("###page={}"), QStringLiteral("###end")};
    QVERIFY(ExecScript(browser, QStringLiteral("script")));
    QCOMPARE(browser.scriptsRun, QStringList{"script"});
    QCOMPARE(Run().LastPageReport, QStringLiteral("{}")); // the report came before the marker
}

void TestCaptureScripts::execScriptWithoutMarkerTakesFullWait()
{
    ScriptedBrowser browser;
    browser.answer = {QStringLiteral("###totalpage=12")};
    QVERIFY(!ExecScript(browser, QStringLiteral("total")));
    QCOMPARE(Run().TotalPages, 12); // its message was handled during the wait
}

void TestCaptureScripts::execScriptWithoutBrowser()
{
    ScriptedBrowser browser;
    browser.exists = false;
    browser.answer = {QStringLiteral("###end")};
    Run().ScriptEnded = true;
    QVERIFY(!ExecScript(browser, QStringLiteral("script")));
    QVERIFY(browser.scriptsRun.isEmpty());
    QVERIFY(!Run().ScriptEnded);
}

void TestCaptureScripts::savepageReportLengthRule_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("stored");
    QTest::newRow("10 characters dropped") << "{\"img\":\"\"}" << false;
    QTest::newRow("11 characters stored") << "{\"img\":\"a\"}" << true;
    QTest::newRow("no report") << QString() << false;
}

void TestCaptureScripts::savepageReportLengthRule()
{
    QFETCH(QString, report);
    QFETCH(bool, stored);
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=rule.") + QTest::currentDataTag()[0]);
    book.setWorking(true);
    ScriptedBrowser browser;
    if (!report.isNull())
        browser.answer = {QStringLiteral("###page=") + report};
    browser.answer << QStringLiteral("###end");
    savepage(browser, book, QStringLiteral("page script"));
    QCOMPARE(QDir(book.PageFolder()).entryList(QDir::Files), stored ? QStringList{"0000.jpg"} : QStringList{});
}

QM_TEST_MAIN(TestCaptureScripts)
#include "tst_capturescripts.moc"
