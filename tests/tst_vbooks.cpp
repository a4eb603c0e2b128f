#include "apperror.h"
#include "base64.h"
#include "folders.h"
#include "pagefile.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

namespace {

QString dataUrl(const QByteArray &bytes, const QString &type = QStringLiteral("image/png"))
{
    return QStringLiteral("data:%1;base64,").arg(type) + QString::fromLatin1(bytes.toBase64());
}

QString report(const QJsonValue &currpage, const QString &img)
{
    QJsonObject o;
    o.insert(QStringLiteral("total"), 12);
    if (!currpage.isUndefined())
        o.insert(QStringLiteral("currpage"), currpage);
    o.insert(QStringLiteral("img"), img);
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray samplePng()
{
    QImage image(64, 40, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgba(x * 4, y * 6, (x * y) & 0xFF, 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestBookRecord : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void getID_data();
    void getID();
    void longIdsFitTheFileSystem_data();
    void longIdsFitTheFileSystem();
    void getIDFailures_data();
    void getIDFailures();
    void setWorkingCreatesPageFolderOnly();
    void base64_data();
    void base64();
    void pageFileName_data();
    void pageFileName();
    void currpage_data();
    void currpage();
    void pageFileHoldsTheImageBytes();
    void samePageTwiceAndOutOfOrder();
    void reportThatIsNotJson();
    void pageFileThatCannotBeCreated();
};

void TestBookRecord::initTestCase()
{
    SetupFolders();
}

void TestBookRecord::getID_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("dirid");
    QTest::newRow("ampersand ends the id") << "?id=abc.123&seq=7" << "abc.123" << "abc.123";
    QTest::newRow("semicolon belongs to it") << "?id=abc.123;seq=7" << "abc.123;seq=7" << "abc.123;seq7";
    QTest::newRow("fragment belongs to it") << "?id=abc.123#page/5" << "abc.123#page/5" << "abc.123#page5";
    QTest::newRow("ark identifier") << "?id=xyz.ark:/139/t0ab" << "xyz.ark:/139/t0ab" << "xyz.ark139t0ab";
    QTest::newRow("percent-decoded") << "?id=abc%3A123" << "abc:123" << "abc123";
    QTest::newRow("decoded ampersand splits") << "?id=ab%26cd" << "ab" << "ab";
    QTest::newRow("utf-8 escapes") << "?id=b%C3%BCcher" << QString::fromUtf8("b\u00fccher") << QString::fromUtf8("b\u00fccher");
    QTest::newRow("empty pieces dropped") << "?&&id=x1&seq=2" << "x1" << "x1";
    QTest::newRow("line break splits") << "?id=a1%0Aseq=2" << "a1" << "a1";
    QTest::newRow("quoted stretch not split") << "?id=\"a&b\"&seq=1" << "\"a&b\"" << "a&b";
    QTest::newRow("single quotes too") << "?id='a&b'c&seq=1" << "'a&b'c" << "'a&b'c";
    QTest::newRow("unmatched quote is a character") << "?id=a\"b&c" << "a\"b" << "ab";
    QTest::newRow("first piece without equals") << "?abc&id=1" << "" << "";
    QTest::newRow("NUL dropped from the name") << "?id=ab%00cd" << QString("ab") + QChar(0) + "cd" << "abcd";
    QTest::newRow("dots inside stay") << "?id=..a" << "..a" << "..a";
    const QString longId(2000, QLatin1Char('a'));
    // The folder name is cut to the 255 bytes a file system takes, never inside a character.
    QTest::newRow("first 1024 characters only") << "?id=" + longId + "&seq=1" << QString(1021, QLatin1Char('a'))
                                                 << QString(255, QLatin1Char('a'));
    const QString cjk = QString(100, QChar(0x66F8));
    QTest::newRow("CJK id cut by bytes") << "?id=" + cjk << cjk << cjk.left(85);
    QString astral;
    for (int i = 0; i < 70; ++i)
        astral += QString::fromUcs4(U"\U0001D518");
    QTest::newRow("surrogate pairs stay whole") << "?id=" + astral << astral << astral.left(63 * 2);
    QTest::newRow("two-byte letters") << "?id=x" + QString(200, QChar(0xE9)) << "x" + QString(200, QChar(0xE9))
                                      << "x" + QString(127, QChar(0xE9));
}

void TestBookRecord::longIdsFitTheFileSystem_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<int>("pdfNameLength");
    QTest::newRow("100 CJK characters") << QString(100, QChar(0x66F8)) << 78;
    QTest::newRow("86 CJK characters") << QString(86, QChar(0x66F8)) << 78;
    QTest::newRow("130 ASCII characters") << QString(130, QLatin1Char('q')) << 100;
}

void TestBookRecord::longIdsFitTheFileSystem()
{
    QFETCH(QString, id);
    QFETCH(int, pdfNameLength);
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=") + id);
    book.setWorking(true); // the page folder can be made
    QVERIFY(QFileInfo(book.PageFolder()).isDir());
    book.SvePDFPage(QStringLiteral("{\"currpage\":\"1\",\"img\":\"data:image/png;base64,QUJD\"}"));
    QVERIFY(QFile::exists(PageFilePath(book.dirid, 1)));
    const QString pdf = book.PdfPath();
    QCOMPARE(QFileInfo(pdf).completeBaseName().size(), pdfNameLength);
    // The build writes beside the PDF under a part-file suffix first: that name fits too.
    QFile part(pdf + QStringLiteral(".part4194304"));
    QVERIFY2(part.open(QIODevice::WriteOnly), qPrintable(part.errorString()));
    part.remove();
}

void TestBookRecord::getID()
{
    QFETCH(QString, query);
    QFETCH(QString, id);
    QFETCH(QString, dirid);
    TePubobj book;
    if (dirid.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(AppError, book.getID(QStringLiteral("http://h/cgi/pt") + query));
        QCOMPARE(book.id, id);
        return;
    }
    book.getID(QStringLiteral("http://h/cgi/pt") + query);
    QCOMPARE(book.id, id);
    QCOMPARE(book.dirid, dirid);
}

void TestBookRecord::getIDFailures_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("id");       // id afterwards
    QTest::addColumn<QString>("message");
    const QString empty = QStringLiteral("Resulting FileName was empty Input string was: ");
    QTest::newRow("nothing after equals") << "http://h/cgi/pt?id=" << "" << empty;
    QTest::newRow("only removed characters") << "http://h/cgi/pt?id=%20:/" << " :/" << empty + " :/";
    QTest::newRow("dot") << "http://h/cgi/pt?id=." << "." << empty + ".";
    QTest::newRow("dot dot") << "http://h/cgi/pt?id=.." << ".." << empty + "..";
    QTest::newRow("dot dot escaped") << "http://h/cgi/pt?id=%2E%2E" << ".." << empty + "..";
    QTest::newRow("empty query") << "http://h/cgi/pt?" << "old" << "List index out of bounds (0)";
    QTest::newRow("only ampersands") << "http://h/cgi/pt?&&&" << "old" << "List index out of bounds (0)";
    QTest::newRow("no query") << "http://h/cgi/pt" << "old" << "List index out of bounds (0)";
}

void TestBookRecord::getIDFailures()
{
    QFETCH(QString, url);
    QFETCH(QString, id);
    QFETCH(QString, message);
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=old"));
    try {
        book.getID(url);
        QFAIL("no error");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), message);
    }
    QCOMPARE(book.id, id);
    QCOMPARE(book.dirid, QStringLiteral("old")); // never a folder outside the work folder
}

void TestBookRecord::setWorkingCreatesPageFolderOnly()
{
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=work.1&seq=3"));
    const QString folder = AppFolders().workFolder + QStringLiteral("/work.1/");
    QCOMPARE(book.PageFolder(), folder);
    book.setWorking(false);
    QVERIFY(!QDir(folder).exists());
    book.setWorking(true);
    QVERIFY(QDir(folder).exists());

    QFile kept(folder + QStringLiteral("0001.jpg"));
    QVERIFY(kept.open(QIODevice::WriteOnly));
    kept.write("earlier page");
    kept.close();
    book.setWorking(true); // a second run keeps what is there
    QCOMPARE(readFile(folder + QStringLiteral("0001.jpg")), QByteArray("earlier page"));
}

void TestBookRecord::base64_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("plain") << "TWFu" << QByteArray("Man");
    QTest::newRow("one pad") << "TWE=" << QByteArray("Ma");
    QTest::newRow("two pads") << "TQ==" << QByteArray("M");
    QTest::newRow("line breaks and blanks") << "TW\r\nFu T\tW E=" << QByteArray("ManMa");
    QTest::newRow("url-safe characters dropped") << "TW-Fu_" << QByteArray("Man");
    QTest::newRow("jpeg leftover comma") << ",TWFu" << QByteArray("Man");
    QTest::newRow("data after pad") << "TQ==TWFu" << QByteArray("MMan");
    QTest::newRow("pad in mid-stream") << "TWE=TWE=TQ==" << QByteArray("MaMaM");
    QTest::newRow("non-ascii dropped") << QString::fromUtf8("T\u00e9WF\u4e66u") << QByteArray("Man");
    QTest::newRow("all bits") << "////" << QByteArray("\xff\xff\xff", 3);
    QTest::newRow("empty") << "" << QByteArray();
    QTest::newRow("nothing usable") << "!!-- ,," << QByteArray();
    QTest::newRow("unfinished group of three") << "TWFuTWE" << QByteArray("ManMa");
    QTest::newRow("unfinished group of two") << "TWFuTQ" << QByteArray("ManM");
    QTest::newRow("lone last character") << "TWFuT" << QByteArray("Man");
    QTest::newRow("pad first counts as zero") << "=WFu" << QByteArray("\x01\x61\x6e", 3);
}

void TestBookRecord::base64()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(DecodeBase64Tolerant(text), bytes);
}

void TestBookRecord::pageFileName_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("name");
    QTest::newRow("7") << 7 << "0007.jpg";
    QTest::newRow("123") << 123 << "0123.jpg";
    QTest::newRow("12345") << 12345 << "12345.jpg";
    QTest::newRow("0") << 0 << "0000.jpg";
    QTest::newRow("-5") << -5 << "-0005.jpg";
}

void TestBookRecord::pageFileName()
{
    QFETCH(int, page);
    QFETCH(QString, name);
    QCOMPARE(PageFileName(page), name);
}

void TestBookRecord::currpage_data()
{
    QTest::addColumn<QJsonValue>("currpage");
    QTest::addColumn<QString>("imgpageno");
    QTest::addColumn<int>("curpage");
    QTest::newRow("string") << QJsonValue("7") << "7" << 7;
    QTest::newRow("number") << QJsonValue(7) << "7" << 7;
    QTest::newRow("large") << QJsonValue("12345") << "12345" << 12345;
    QTest::newRow("negative") << QJsonValue(-5) << "-5" << -5;
    QTest::newRow("fraction") << QJsonValue(7.5) << "7.5" << 0;
    QTest::newRow("not an integer") << QJsonValue("7a") << "7a" << 0;
    QTest::newRow("out of range") << QJsonValue("3000000000") << "3000000000" << 0;
    QTest::newRow("empty") << QJsonValue("") << "" << 0;
    QTest::newRow("true") << QJsonValue(true) << "true" << 0;
    QTest::newRow("null") << QJsonValue(QJsonValue::Null) << "" << 0;
    QTest::newRow("missing") << QJsonValue(QJsonValue::Undefined) << "" << 0;
}

void TestBookRecord::currpage()
{
    QFETCH(QJsonValue, currpage);
    QFETCH(QString, imgpageno);
    QFETCH(int, curpage);
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.currpage"));
    book.setWorking(true);
    book.curpage = 99;
    book.SvePDFPage(report(currpage, dataUrl("page")));
    QCOMPARE(book.imgpageno, imgpageno);
    QCOMPARE(book.curpage, curpage);
    QCOMPARE(readFile(PageFilePath(book.dirid, curpage)), QByteArray("page"));
}

void TestBookRecord::pageFileHoldsTheImageBytes()
{
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.bytes"));
    book.setWorking(true);
    const QByteArray png = samplePng();
    book.SvePDFPage(report(QJsonValue("7"), dataUrl(png)));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0007.jpg")), png);

    // A JPEG data URL is one character longer in front: its comma is skipped.
    const QByteArray jpeg = QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(300, 'j') + QByteArray("\xff\xd9", 2);
    book.SvePDFPage(report(QJsonValue("8"), dataUrl(jpeg, QStringLiteral("image/jpeg"))));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0008.jpg")), jpeg);

    // Broken into lines as some encoders do.
    QString wrapped = dataUrl(png);
    for (qsizetype at = 22 + 76; at < wrapped.size(); at += 78)
        wrapped.insert(at, QStringLiteral("\r\n"));
    book.SvePDFPage(report(QJsonValue("9"), wrapped));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0009.jpg")), png);

    // No image: an empty page file, which the PDF build counts as missing.
    book.SvePDFPage(report(QJsonValue("10"), QString()));
    QVERIFY(QFile::exists(book.PageFolder() + QStringLiteral("0010.jpg")));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0010.jpg")), QByteArray());
}

void TestBookRecord::samePageTwiceAndOutOfOrder()
{
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.order"));
    book.setWorking(true);
    book.SvePDFPage(report(QJsonValue("3"), dataUrl("third, first take")));
    book.SvePDFPage(report(QJsonValue("1"), dataUrl("first")));
    QCOMPARE(book.curpage, 1);
    book.SvePDFPage(report(QJsonValue("3"), dataUrl("third")));
    QCOMPARE(book.curpage, 3);
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0001.jpg")), QByteArray("first"));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0003.jpg")), QByteArray("third"));
    QCOMPARE(QDir(book.PageFolder()).entryList(QDir::Files),
             (QStringList{"0001.jpg", "0003.jpg"})); // nothing left beside them
}

void TestBookRecord::reportThatIsNotJson()
{
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.bad"));
    book.setWorking(true);
    book.SvePDFPage(report(QJsonValue("4"), dataUrl("four")));
    QVERIFY_THROWS_EXCEPTION(AppError, book.SvePDFPage(QStringLiteral("{\"currpage\":\"5\",\"img\":\"data")));
    QVERIFY_THROWS_EXCEPTION(AppError, book.SvePDFPage(QStringLiteral("[\"5\"]")));
    QCOMPARE(book.curpage, 4);
    QCOMPARE(book.imgpageno, QStringLiteral("4"));
    QCOMPARE(QDir(book.PageFolder()).entryList(QDir::Files), QStringList{"0004.jpg"});
}

void TestBookRecord::pageFileThatCannotBeCreated()
{
    // Runs as root in CI, where permissions do not stop a write: a file where the page
    // folder should be does.
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.blocked"));
    QFile blocker(book.PageFolder().chopped(1));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString path = book.PageFolder() + QStringLiteral("0002.jpg");
    try {
        book.SvePDFPage(report(QJsonValue("2"), dataUrl("two")));
        QFAIL("no error");
    } catch (const AppError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(path)), qPrintable(e.message()));
        QVERIFY(e.message().size() > QStringLiteral("Cannot create file \"%1\". ").arg(path).size());
    }
    QCOMPARE(book.curpage, 2); // set before the write
}

QM_TEST_MAIN(TestBookRecord)
#include "tst_vbooks.moc"
