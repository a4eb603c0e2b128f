#include "freefilename.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// Names for saved downloads against real files in a folder.
class TestFreeFileName : public QObject
{
    Q_OBJECT
private slots:
    void freeName_data();
    void freeName();
};

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
}

void TestFreeFileName::freeName()
{
    QFETCH(QStringList, present);
    QFETCH(QStringList, reserved);
    QFETCH(QString, suggested);
    QFETCH(QString, expected);

    QTemporaryDir folder;
    for (const QString &name : present) {
        if (name.endsWith(QLatin1Char('/'))) {
            QVERIFY(QDir(folder.path()).mkdir(name.chopped(1)));
            continue;
        }
        QFile file(folder.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const QSet<QString> writing(reserved.begin(), reserved.end());
    QCOMPARE(FreeFileName(folder.path(), suggested, writing), expected);
}

QM_TEST_MAIN(TestFreeFileName)
#include "tst_freefilename.moc"
