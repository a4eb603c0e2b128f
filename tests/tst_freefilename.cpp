#include "freefilename.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

// Names for saved downloads against real files in a folder.
class TestFreeFileName : public QObject
{
    Q_OBJECT
private slots:
    void freeName_data();
    void freeName();
    void createdExclusively_data();
    void createdExclusively();
};

namespace {

const QByteArray UserBytes = "the user's own file";

// Puts the entries into folder: "name" a file of the user's, "name/" a folder, "name->target" a
// symbolic link to target (in the folder; nothing is there).
bool makeEntries(const QString &folder, const QStringList &entries)
{
    const QDir dir(folder);
    for (const QString &entry : entries) {
        if (entry.endsWith(QLatin1Char('/'))) {
            if (!dir.mkdir(entry.chopped(1)))
                return false;
        } else if (entry.contains(QLatin1String("->"))) {
            const QString link = entry.section(QLatin1String("->"), 0, 0);
            const QString target = entry.section(QLatin1String("->"), 1);
            if (!QFile::link(dir.filePath(target), dir.filePath(link)))
                return false;
        } else {
            QFile file(dir.filePath(entry));
            if (!file.open(QIODevice::WriteOnly) || file.write(UserBytes) != UserBytes.size())
                return false;
        }
    }
    return true;
}

} // namespace

void TestFreeFileName::freeName_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("reserved");
    QTest::addColumn<QString>("suggested");
    QTest::addColumn<QString>("expected");

    const QStringList none;
    QTest::newRow("free") << none << none << "book.epub" << "book.epub";
    QTest::newRow("taken once") << QStringList{"book.epub"} << none << "book.epub" << "book (1).epub";
    QTest::newRow("taken twice") << QStringList{"book.epub", "book (1).epub"} << none << "book.epub" << "book (2).epub";
    QTest::newRow("a gap is used") << QStringList{"book.epub", "book (2).epub"} << none << "book.epub" << "book (1).epub";
    QTest::newRow("numbered ones alone do not matter") << QStringList{"book (1).epub"} << none << "book.epub" << "book.epub";
    QTest::newRow("other case is another file") << QStringList{"Book.epub"} << none << "book.epub" << "book.epub";
    QTest::newRow("last extension only") << QStringList{"vol.2.pdf"} << none << "vol.2.pdf" << "vol.2 (1).pdf";
    QTest::newRow("tar archive keeps both") << QStringList{"data.tar.gz"} << none << "data.tar.gz" << "data (1).tar.gz";
    QTest::newRow("no extension") << QStringList{"README"} << none << "README" << "README (1)";
    QTest::newRow("leading dot is no extension") << QStringList{".notes"} << none << ".notes" << ".notes (1)";
    QTest::newRow("spaces and non-ASCII") << QStringList{"Über Bücher.pdf"} << none << "Über Bücher.pdf" << "Über Bücher (1).pdf";
    QTest::newRow("folder part dropped") << QStringList{"book.epub"} << none << "../../etc/book.epub" << "book (1).epub";
    QTest::newRow("empty name") << none << none << "" << "download";
    QTest::newRow("dot dot") << QStringList{"download"} << none << ".." << "download (1)";
    QTest::newRow("being written") << QStringList{"book.epub"} << QStringList{"book (1).epub"} << "book.epub" << "book (2).epub";
    QTest::newRow("a folder of that name") << QStringList{"book.epub/"} << none << "book.epub" << "book (1).epub";
    QTest::newRow("a link that leads nowhere") << QStringList{"book.epub->gone.epub"} << none << "book.epub" << "book (1).epub";
}

void TestFreeFileName::freeName()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, reserved);
    QFETCH(QString, suggested);
    QFETCH(QString, expected);

    QTemporaryDir folder;
    QVERIFY(makeEntries(folder.path(), present));
    const QSet<QString> writing(reserved.begin(), reserved.end());
    QCOMPARE(FreeFileName(folder.path(), suggested, writing), expected);
}

void TestFreeFileName::createdExclusively_data()
{
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("checked"); // of present, what the check saw (the rest came after it)
    QTest::addColumn<QString>("expected");

    QTest::newRow("free") << QStringList() << QStringList() << "book.epub";
    QTest::newRow("taken before the check") << QStringList{"book.epub"} << QStringList{"book.epub"} << "book (1).epub";
    QTest::newRow("taken after the check") << QStringList{"book.epub"} << QStringList() << "book (1).epub";
    QTest::newRow("next one taken after the check too")
        << QStringList{"book.epub", "book (1).epub"} << QStringList{"book.epub"} << "book (2).epub";
    QTest::newRow("a link to nowhere the check missed")
        << QStringList{"book.epub->elsewhere.epub"} << QStringList() << "book (1).epub";
    QTest::newRow("a link to a file the check missed")
        << QStringList{"target.epub", "book.epub->target.epub"} << QStringList{"target.epub"} << "book (1).epub";
    QTest::newRow("a folder made after the check") << QStringList{"book.epub/"} << QStringList() << "book (1).epub";
}

void TestFreeFileName::createdExclusively()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, checked);
    QFETCH(QString, expected);

    QTemporaryDir folder;
    QVERIFY(makeEntries(folder.path(), present));
    QString error;
    const QString name = CreateFreeFile(
        folder.path(), QStringLiteral("book.epub"),
        [&](const QString &n) { return checked.contains(n); }, &error);
    QCOMPARE(name, expected);
    QCOMPARE(error, QString());

    const QFileInfo made(folder.filePath(name));
    QVERIFY(made.isFile());
    QVERIFY(!made.isSymLink());
    QCOMPARE(made.size(), 0);
    // Nothing written through a link: its target is as it was, or still not there.
    const QDir dir(folder.path());
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("elsewhere.epub"))));
    QFile target(dir.filePath(QStringLiteral("target.epub")));
    if (target.open(QIODevice::ReadOnly))
        QCOMPARE(target.readAll(), UserBytes);
    QCOMPARE(dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot).size(), present.size() + 1);
}

QM_TEST_MAIN(TestFreeFileName)
#include "tst_freefilename.moc"
