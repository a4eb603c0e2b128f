#include "makefolder.h"
#include "filenames.h"
#include "protocoltext.h"
#include "resourcetext.h"
#include "resourceimage.h"
#include "apperror.h"
#include "delayms.h"
#include "errorreport.h"
#include "folders.h"
#include "testenv.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QTimer>
#include <QtTest>

class TestMyUtils : public QObject
{
    Q_OBJECT
private slots:
    void safeFileName_data();
    void safeFileName();
    void safeFileNameFails_data();
    void safeFileNameFails();
    void intAfterEquals_data();
    void intAfterEquals();
    void intAfterEqualsFails_data();
    void intAfterEqualsFails();
    void textAfterEquals_data();
    void textAfterEquals();
    void pageScriptResourceIsExact();
    void resourceLookupIgnoresCase();
    void missingResourceFails();
    void streamToText();
    void foldersFirstAndSecondStart();
    void delayMsProcessesPendingEvents();
    void guardedReportsEveryFailure();
};

void TestMyUtils::safeFileName_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("blank") << "a b" << "ab";
    QTest::newRow("colon and slash") << "x:y/z" << "xyz";
    QTest::newRow("equals") << "a=b" << "ab";
    QTest::newRow("all removed characters") << "a\tb\nc\rd\"e*f/g:h<i=j>k?l\\m|n" << "abcdefghijklmn";
    QTest::newRow("dots inside stay") << "abc.123" << "abc.123";
    QTest::newRow("semicolon and hash stay") << "abc.123;seq=7#page/5" << "abc.123;seq7#page5";
    QTest::newRow("control char inside stays") << QString("a") + QChar(11) + "b" << QString("a") + QChar(11) + "b";
    QTest::newRow("control char at ends dropped") << QString(QChar(11)) + "ab" + QChar(11) << "ab";
    QTest::newRow("non-ascii stays") << QString::fromUtf8("b\u00fccher.\u4e66") << QString::fromUtf8("b\u00fccher.\u4e66");
    QTest::newRow("NUL dropped") << QString("ab") + QChar(0) + "cd" << "abcd";
    QTest::newRow("dots and a letter") << "..a" << "..a";
}

void TestMyUtils::safeFileName()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(SafeFileName(input), expected);
}

void TestMyUtils::safeFileNameFails_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("empty") << "";
    QTest::newRow("two blanks") << "  ";
    QTest::newRow("backslash slash") << "\\/";
    QTest::newRow("only removed characters") << "=:?*";
    // A name of dots would be the folder itself or its parent.
    QTest::newRow("dot") << ".";
    QTest::newRow("dot dot") << "..";
    QTest::newRow("dots around removed characters") << ". /.";
    QTest::newRow("NUL only") << QString(QChar(0));
}

void TestMyUtils::safeFileNameFails()
{
    QFETCH(QString, input);
    try {
        SafeFileName(input);
        QFAIL("no error raised");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), QStringLiteral("Resulting FileName was empty Input string was: ") + input);
    }
}

void TestMyUtils::intAfterEquals_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("expected");
    QTest::newRow("total page") << "###totalpage=354" << 354;
    QTest::newRow("nothing after") << "a=" << 0;
    QTest::newRow("nothing before") << "=5" << 0;
    QTest::newRow("three pieces") << "a=b=3" << 0;
    QTest::newRow("no equals") << "12" << 0;
    QTest::newRow("doubled equals") << "a==7" << 7;
    QTest::newRow("line break splits") << "a\n7" << 7;
    QTest::newRow("negative") << "n=-12" << -12;
    QTest::newRow("largest") << "n=2147483647" << 2147483647;
    QTest::newRow("smallest") << "n=-2147483648" << int(-2147483647 - 1);
}

void TestMyUtils::intAfterEquals()
{
    QFETCH(QString, input);
    QFETCH(int, expected);
    QCOMPARE(IntAfterEquals(input), expected);
}

void TestMyUtils::intAfterEqualsFails_data()
{
    QTest::addColumn<QString>("input");
    QTest::newRow("letters") << "n=x";
    QTest::newRow("undefined") << "###totalpage=undefined";
    QTest::newRow("too large") << "n=2147483648";
    QTest::newRow("trailing text") << "n=12a";
    QTest::newRow("sign only") << "n=-";
}

void TestMyUtils::intAfterEqualsFails()
{
    QFETCH(QString, input);
    QVERIFY_THROWS_EXCEPTION(AppError, IntAfterEquals(input));
}

void TestMyUtils::textAfterEquals_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first equals only") << "###title=A=B" << "A=B";
    QTest::newRow("no equals") << "abc" << "";
    QTest::newRow("nothing after") << "abc=" << "";
    QTest::newRow("page report") << "###page={\"a\":1}" << "{\"a\":1}";
}

void TestMyUtils::textAfterEquals()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(TextAfterEquals(input), expected);
}

void TestMyUtils::pageScriptResourceIsExact()
{
    // The page script as built in: plain ASCII, speaking the console protocol the runner reads.
    const QString text = ResourceText(QStringLiteral("jsQM"), QStringLiteral("HTML"));
    QFile source(QStringLiteral(QM_SOURCE_DIR "/resources/jsQM.js"));
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();
    QCOMPARE(text.toLatin1(), bytes);
    for (char c : bytes)
        QVERIFY2(c == '\n' || (c >= 0x20 && c < 0x7f), "not plain ASCII");
    for (const char *tag : {"\"###pending=\"", "\"###page@\"", "\"###end@\""})
        QVERIFY2(bytes.contains(tag), tag);
}

void TestMyUtils::resourceLookupIgnoresCase()
{
    const QString expected = ResourceText(QStringLiteral("jsQM"), QStringLiteral("HTML"));
    QCOMPARE(ResourceText(QStringLiteral("JSQM"), QStringLiteral("html")), expected);
    QCOMPARE(ResourceText(QStringLiteral("jsqm"), QStringLiteral("Html")), expected);

    QLabel label;
    LoadPngResource(QStringLiteral("iconbmp"), &label);
    QCOMPARE(label.pixmap().size(), QSize(49, 45));
}

void TestMyUtils::missingResourceFails()
{
    QLabel label;
    QVERIFY_THROWS_EXCEPTION(AppError, ResourceText(QStringLiteral("jsQM"), QStringLiteral("RCDATA")));
    QVERIFY_THROWS_EXCEPTION(AppError, ResourceText(QStringLiteral("nothing"), QStringLiteral("HTML")));
    QVERIFY_THROWS_EXCEPTION(AppError, LoadPngResource(QStringLiteral("nothing"), &label));
}

void TestMyUtils::streamToText()
{
    QCOMPARE(StreamToText(nullptr), QString());
    QByteArray data("line one\r\nline two");
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    buffer.seek(5); // read from the start whatever the position
    QCOMPARE(StreamToText(&buffer), QStringLiteral("line one\r\nline two"));
}

// Lists every folder below root.
static QStringList foldersBelow(const QString &root)
{
    QStringList result;
    QDirIterator it(root, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        result << it.next().mid(root.size());
    result.sort();
    return result;
}

void TestMyUtils::foldersFirstAndSecondStart()
{
    const QString home = TestEnv::home();
    const QString documents = home + QStringLiteral("/Documents");
    QVERIFY(!QDir(documents).exists());

    SetupFolders();
    const QString data = documents + QStringLiteral("/Brindlewick/Quillmoor Downloader/");
    QCOMPARE(AppFolders().dataFolder, data);
    QCOMPARE(AppFolders().workFolder, data + QStringLiteral("tmp"));
    QCOMPARE(AppFolders().programFolder, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    const QStringList first = foldersBelow(documents);
    QCOMPARE(first, (QStringList{"/Brindlewick", "/Brindlewick/Quillmoor Downloader",
                                 "/Brindlewick/Quillmoor Downloader/tmp"}));

    // A second start finds everything in place: nothing new, nothing replaced.
    QFile marker(AppFolders().workFolder + QStringLiteral("/keep"));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();
    SetupFolders();
    QCOMPARE(foldersBelow(documents), first);
    QVERIFY(marker.exists());
    QCOMPARE(MakeUserFolder(QStringLiteral("Quillmoor Downloader")), data);

    // EnsureFolder creates one level only.
    EnsureFolder(home + QStringLiteral("/a/b"));
    QVERIFY(!QDir(home + QStringLiteral("/a")).exists());
    EnsureFolder(home + QStringLiteral("/a"));
    QVERIFY(QDir(home + QStringLiteral("/a")).exists());
}

void TestMyUtils::delayMsProcessesPendingEvents()
{
    int posted = 0;
    QTimer::singleShot(0, this, [&] { ++posted; });
    DelayMs(0);
    QCOMPARE(posted, 1);

    // Events that come due during the wait run inside it, a re-entrant call included.
    int fired = 0;
    QTimer::singleShot(10, this, [&] {
        ++fired;
        DelayMs(5);
    });
    QTimer::singleShot(20, this, [&] { ++fired; });
    DelayMs(200);
    QCOMPARE(fired, 2);
}

void TestMyUtils::guardedReportsEveryFailure()
{
    QStringList reported;
    SetErrorReporter([&](const QString &message) { reported << message; });
    RunGuarded([] { throw AppError(QStringLiteral("page store failed")); });
    RunGuarded([] { throw std::runtime_error("plain failure"); });
    int calls = 0;
    auto handler = Guarded([&](int n) { calls += n; });
    handler(3);
    SetErrorReporter(nullptr);
    QCOMPARE(reported, (QStringList{"page store failed", "plain failure"}));
    QCOMPARE(calls, 3);
}

QM_TEST_MAIN(TestMyUtils)
#include "tst_myutils.moc"
