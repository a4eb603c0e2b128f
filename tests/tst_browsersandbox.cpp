#include "browsersandbox.h"
#include "testenv.h"

#include <QApplication>
#include <QtTest>

// When the browser engine runs its pages without Chromium's sandbox, and what the log says then.
class TestBrowserSandbox : public QObject
{
    Q_OBJECT
private slots:
    void choice_data();
    void choice();
};

void TestBrowserSandbox::choice_data()
{
    QTest::addColumn<bool>("root");
    QTest::addColumn<bool>("variableSet");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("logLine");

    QTest::newRow("ordinary user") << false << false << true << QString();
    QTest::newRow("ordinary user, variable set")
        << false << true << false << "The browser's sandbox is off: QTWEBENGINE_DISABLE_SANDBOX is set";
    QTest::newRow("root") << true << false << false
                          << "The browser's sandbox is off: the program runs as root, where Chromium cannot use it";
    QTest::newRow("root, variable set")
        << true << true << false << "The browser's sandbox is off: QTWEBENGINE_DISABLE_SANDBOX is set";
}

void TestBrowserSandbox::choice()
{
    QFETCH(bool, root);
    QFETCH(bool, variableSet);
    QFETCH(bool, on);
    QFETCH(QString, logLine);

    const BrowserSandbox sandbox = ChooseBrowserSandbox(root, variableSet);
    QCOMPARE(sandbox.on, on);
    QCOMPARE(BrowserSandboxLogLine(sandbox), logLine);
}

QM_TEST_MAIN(TestBrowserSandbox)
#include "tst_browsersandbox.moc"
