#include "bookinfo.h"
#include "booktitle.h"
#include "folders.h"
#include "pdfcheck.h"
#include "pdfexport.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

// What a PDF says of its book: the title taken from the viewer page, the record kept with the
// pages, and the document information the export writes.
class TestBookMeta : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void titleFromPageTitle_data();
    void titleFromPageTitle();
    void bookInfoRoundTrip();
    void bookInfoUnreadable_data();
    void bookInfoUnreadable();
    void pdfDocumentInformation_data();
    void pdfDocumentInformation();
};

void TestBookMeta::initTestCase()
{
    SetupProgramFolder(); // the engine library is built beside the tests
}

void TestBookMeta::titleFromPageTitle_data()
{
    QTest::addColumn<QString>("pageTitle");
    QTest::addColumn<QString>("expected");

    QTest::newRow("dash") << "A Book of Hours - Page 3" << "A Book of Hours";
    QTest::newRow("bar") << "A Book of Hours | Quillmoor" << "A Book of Hours";
    QTest::newRow("dash then bar") << "Letters - Page 12 | Quillmoor" << "Letters";
    QTest::newRow("bar then dash") << "Letters | Full view - Quillmoor" << "Letters";
    QTest::newRow("none") << "  Collected Letters  " << "Collected Letters";
    QTest::newRow("hyphen inside a word stays") << "Anglo-Saxon Charms - Quillmoor" << "Anglo-Saxon Charms";
    QTest::newRow("non-ASCII") << "Über Bücher: 東京 | Quillmoor" << "Über Bücher: 東京";
    QTest::newRow("only the suffix") << " - Page 3 | Quillmoor" << "test.001";
    QTest::newRow("only spaces") << "    " << "test.001";
    QTest::newRow("empty") << "" << "test.001";
}

void TestBookMeta::titleFromPageTitle()
{
    QFETCH(QString, pageTitle);
    QFETCH(QString, expected);
    QCOMPARE(BookTitleFromPageTitle(pageTitle, QStringLiteral("test.001")), expected);
}

void TestBookMeta::bookInfoRoundTrip()
{
    QTemporaryDir folder;
    QVERIFY(!LoadBookInfo(folder.path()));
    QVERIFY(SaveBookInfo(folder.path(), {QStringLiteral("Erste Fassung"), QStringLiteral("http://a/1")}));
    const BookInfo second{QStringLiteral("Über \"Bücher\" 東京"), QStringLiteral("https://www.quillmoor.org/cgi/pt?id=x.1&seq=7")};
    QVERIFY(SaveBookInfo(folder.path(), second));
    const auto loaded = LoadBookInfo(folder.path());
    QVERIFY(loaded);
    QCOMPARE(loaded->title, second.title);
    QCOMPARE(loaded->address, second.address);
    // Replaced in place: nothing but the record is left in the page folder.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"book.json"});
    QVERIFY(!SaveBookInfo(folder.filePath(QStringLiteral("missing")), second));
}

void TestBookMeta::bookInfoUnreadable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("cut short") << QByteArray("{\"title\": \"A Bo");
    QTest::newRow("not an object") << QByteArray("[\"title\"]");
}

void TestBookMeta::bookInfoUnreadable()
{
    QFETCH(QByteArray, content);
    QTemporaryDir folder;
    QFile file(BookInfoPath(folder.path()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QVERIFY(!LoadBookInfo(folder.path()));
}

void TestBookMeta::pdfDocumentInformation_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("subject");

    QTest::newRow("ASCII") << "Collected Letters (1850)" << "https://www.quillmoor.org/cgi/pt?id=x.1&seq=1";
    QTest::newRow("non-ASCII") << "Über Bücher – 東京" << "https://www.quillmoor.org/cgi/pt?id=%C3%BC.1";
    QTest::newRow("none") << "" << "";
}

void TestBookMeta::pdfDocumentInformation()
{
    QFETCH(QString, title);
    QFETCH(QString, subject);

    QTemporaryDir folder;
    const QString pdf = folder.filePath(QStringLiteral("book.pdf"));
    {
        TCustomPDFExport exporter;
        exporter.Filename = QFile::encodeName(pdf);
        exporter.DocumentInfo = {{PDFE_SP_TITLE, title}, {PDFE_SP_SUBJECT, subject}};
        exporter.BeginDoc();
        const uint8_t pixels[2 * 2 * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
        PDFE_Bitmap bitmap{};
        bitmap.width = 2;
        bitmap.height = 2;
        bitmap.bytesPerRow = 6;
        bitmap.format = PDFE_RGB8;
        bitmap.pixels = pixels;
        exporter.StartPage(2, 2, 72, 72, 0);
        exporter.DrawBitmap(0, 0, 2, 2, &bitmap);
        exporter.EndPage();
        exporter.EndDoc();
    }
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QString info = PdfCheck::run(QStringLiteral("pdfinfo"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf});
    QVERIFY(!info.isNull());
    auto field = [&info](const QString &key) {
        const QRegularExpression line(QStringLiteral("^%1:[ ]+(.*)$").arg(key), QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = line.match(info);
        return match.hasMatch() ? match.captured(1) : QString();
    };
    QCOMPARE(field(QStringLiteral("Title")), title);
    QCOMPARE(field(QStringLiteral("Subject")), subject);
    QCOMPARE(field(QStringLiteral("Producer")), QStringLiteral("Quillmoor Downloader PDF engine 1.0"));
    QVERIFY2(field(QStringLiteral("CreationDate")).contains(QString::number(QDate::currentDate().year())), qPrintable(info));
}

QM_TEST_MAIN(TestBookMeta)
#include "tst_bookmeta.moc"
