#include "apperror.h"
#include "base64.h"
#include "folders.h"
#include "pagefile.h"
#include "pageimage.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QBuffer>
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

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A small page image, different for every seed, of more bytes than the smallest page file.
QByteArray pagePng(int seed)
{
    QImage image(30 + seed, 20, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor::fromHsv((seed * 37 + x * 5 + y * 11) % 360, 120, 200));
    return encoded(image, "PNG");
}

// A PNG made of its signature, an IHDR chunk with these values and an IEND chunk.
QByteArray pngHeader(quint32 width, quint32 height, int depth, int colourType)
{
    auto be32 = [](quint32 v) {
        const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
        return QByteArray(b, 4);
    };
    auto chunk = [&](const QByteArray &type, const QByteArray &content) {
        QByteArray typed = type + content;
        quint32 crc = 0xFFFFFFFFu;
        for (char c : typed) {
            crc ^= quint8(c);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        return be32(quint32(content.size())) + typed + be32(crc ^ 0xFFFFFFFFu);
    };
    const QByteArray ihdr = be32(width) + be32(height) + char(depth) + char(colourType) + QByteArray(3, '\0');
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", ihdr) + chunk("IDAT", QByteArray(300, 'x')) + chunk("IEND", {});
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
    void sameBook_data();
    void sameBook();
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
    void pageImageKinds_data();
    void pageImageKinds();
    void reportWithoutAPageImageKeepsTheStoredPage_data();
    void reportWithoutAPageImageKeepsTheStoredPage();
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
    QVERIFY(book.SvePDFPage(report(QJsonValue("1"), dataUrl(pagePng(1)))));
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
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("reason");   // the line the window shows for it
    const QString empty = QStringLiteral("Resulting FileName was empty Input string was: ");
    const QString noName = QStringLiteral("The book id \"%1\" leaves no usable file name: no download");
    const QString noBook = QStringLiteral("The address names no book: no download");
    QTest::newRow("nothing after equals") << "http://h/cgi/pt?id=" << empty << noName.arg("");
    QTest::newRow("only removed characters") << "http://h/cgi/pt?id=%20:/" << empty + " :/" << noName.arg(" :/");
    QTest::newRow("colon and question mark") << "http://h/cgi/pt?id=%3A%3F" << empty + ":?" << noName.arg(":?");
    QTest::newRow("dot") << "http://h/cgi/pt?id=." << empty + "." << noName.arg(".");
    QTest::newRow("dot dot") << "http://h/cgi/pt?id=.." << empty + ".." << noName.arg("..");
    QTest::newRow("dot dot escaped") << "http://h/cgi/pt?id=%2E%2E" << empty + ".." << noName.arg("..");
    QTest::newRow("empty query") << "http://h/cgi/pt?" << "List index out of bounds (0)" << noBook;
    QTest::newRow("only ampersands") << "http://h/cgi/pt?&&&" << "List index out of bounds (0)" << noBook;
    QTest::newRow("no query") << "http://h/cgi/pt" << "List index out of bounds (0)" << noBook;
}

void TestBookRecord::getIDFailures()
{
    QFETCH(QString, url);
    QFETCH(QString, message);
    QFETCH(QString, reason);
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=old#page/2"));
    try {
        book.getID(url);
        QFAIL("no error");
    } catch (const AppError &e) {
        QCOMPARE(e.message(), message);
    }
    // Nothing changed: the record is still the last usable book's, never a folder outside
    // the work folder.
    QCOMPARE(book.id, QStringLiteral("old#page/2"));
    QCOMPARE(book.dirid, QStringLiteral("old#page2"));
    QCOMPARE(TvBookobj::UnusableIdReason(url), reason);
    QCOMPARE(TvBookobj::UnusableIdReason(QStringLiteral("http://h/cgi/pt?id=old#page/2")), QString());
}

void TestBookRecord::sameBook_data()
{
    QTest::addColumn<QString>("id");
    QTest::addColumn<QString>("other");
    QTest::addColumn<bool>("same");
    QTest::newRow("equal") << "qmv.h2009" << "qmv.h2009" << true;
    QTest::newRow("fragment dropped after a page turn") << "qmv.h2009#page/5" << "qmv.h2009" << true;
    QTest::newRow("other fragment") << "qmv.h2009#page/5" << "qmv.h2009#page/9" << true;
    QTest::newRow("fragment on the other side") << "qmv.h2009" << "qmv.h2009#x" << true;
    QTest::newRow("another book") << "qmv.h2009#page/5" << "qmv.h2010#page/5" << false;
    QTest::newRow("prefix of another") << "qmv.h2009" << "qmv.h20091" << false;
}

void TestBookRecord::sameBook()
{
    QFETCH(QString, id);
    QFETCH(QString, other);
    QFETCH(bool, same);
    QCOMPARE(TvBookobj::SameBook(id, other), same);
    QCOMPARE(TvBookobj::SameBook(other, id), same);
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
    QVERIFY(book.SvePDFPage(report(currpage, dataUrl(pagePng(3)))));
    QCOMPARE(book.imgpageno, imgpageno);
    QCOMPARE(book.curpage, curpage);
    QCOMPARE(readFile(PageFilePath(book.dirid, curpage)), pagePng(3));
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
    const QByteArray jpeg = encoded(QImage::fromData(png), "JPG");
    book.SvePDFPage(report(QJsonValue("8"), dataUrl(jpeg, QStringLiteral("image/jpeg"))));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0008.jpg")), jpeg);

    // Broken into lines as some encoders do.
    QString wrapped = dataUrl(png);
    for (qsizetype at = 22 + 76; at < wrapped.size(); at += 78)
        wrapped.insert(at, QStringLiteral("\r\n"));
    book.SvePDFPage(report(QJsonValue("9"), wrapped));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0009.jpg")), png);
}

void TestBookRecord::samePageTwiceAndOutOfOrder()
{
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.order"));
    book.setWorking(true);
    book.SvePDFPage(report(QJsonValue("3"), dataUrl(pagePng(30))));
    book.SvePDFPage(report(QJsonValue("1"), dataUrl(pagePng(1))));
    QCOMPARE(book.curpage, 1);
    book.SvePDFPage(report(QJsonValue("3"), dataUrl(pagePng(3))));
    QCOMPARE(book.curpage, 3);
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0001.jpg")), pagePng(1));
    QCOMPARE(readFile(book.PageFolder() + QStringLiteral("0003.jpg")), pagePng(3));
    QCOMPARE(QDir(book.PageFolder()).entryList(QDir::Files),
             (QStringList{"0001.jpg", "0003.jpg"})); // nothing left beside them
}

void TestBookRecord::reportThatIsNotJson()
{
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.bad"));
    book.setWorking(true);
    book.SvePDFPage(report(QJsonValue("4"), dataUrl(pagePng(4))));
    QVERIFY_THROWS_EXCEPTION(AppError, book.SvePDFPage(QStringLiteral("{\"currpage\":\"5\",\"img\":\"data")));
    QVERIFY_THROWS_EXCEPTION(AppError, book.SvePDFPage(QStringLiteral("[\"5\"]")));
    QCOMPARE(book.curpage, 4);
    QCOMPARE(book.imgpageno, QStringLiteral("4"));
    QCOMPARE(QDir(book.PageFolder()).entryList(QDir::Files), QStringList{"0004.jpg"});
}

void TestBookRecord::pageImageKinds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");            // read whole, as before storing
    QTest::addColumn<int>("kindFromHeaders"); // read without inflating or decoding the image data
    QTest::addColumn<QSize>("size");
    using Kind = PageImageInfo::Kind;
    const int Png = int(Kind::Png), Jpeg = int(Kind::Jpeg), None = int(Kind::None);
    QImage page(64, 40, QImage::Format_RGB32);
    page.fill(Qt::darkCyan);
    const QByteArray png = samplePng();
    QTest::newRow("PNG") << png << Png << Png << QSize(64, 40);
    QTest::newRow("JPEG") << encoded(page, "JPG") << Jpeg << Jpeg << QSize(64, 40);
    // Headers without image data: whole as far as the headers go.
    QTest::newRow("1-bit palette PNG header") << pngHeader(10000, 10000, 1, 3) << None << Png << QSize(10000, 10000);
    QTest::newRow("16-bit RGBA PNG header") << pngHeader(3, 2, 16, 6) << None << Png << QSize(3, 2);
    QTest::newRow("empty") << QByteArray() << None << None << QSize();
    QTest::newRow("text") << QByteArray("four") << None << None << QSize();
    QTest::newRow("PNG signature only") << QByteArray("\x89PNG\r\n\x1A\n", 8) << None << None << QSize();
    QTest::newRow("PNG of fewer bytes than a page file") << encoded(page, "PNG") << None << None << QSize();
    QTest::newRow("PNG cut short") << png.chopped(20) << None << None << QSize();
    QTest::newRow("PNG of 0 x 0") << pngHeader(0, 0, 8, 2) << None << None << QSize();
    QTest::newRow("PNG of 0 rows") << pngHeader(640, 0, 8, 2) << None << None << QSize();
    QTest::newRow("PNG larger than a page") << pngHeader(20000, 20000, 8, 2) << None << None << QSize();
    QTest::newRow("PNG width beyond 2^31") << pngHeader(0x80000000u, 1, 8, 2) << None << None << QSize();
    QTest::newRow("PNG 16-bit palette") << pngHeader(3, 2, 16, 3) << None << None << QSize();
    QTest::newRow("PNG colour type 5") << pngHeader(3, 2, 8, 5) << None << None << QSize();
    QByteArray damaged = png;
    damaged[20] = char(damaged[20] ^ 1); // inside IHDR: its CRC no longer matches
    QTest::newRow("PNG header damaged") << damaged << None << None << QSize();
    QTest::newRow("JPEG cut short") << encoded(page, "JPG").chopped(40) << None << None << QSize();
    QTest::newRow("JPEG signature only") << QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(300, 'j') + QByteArray("\xff\xd9", 2)
                                         << None << None << QSize();
}

void TestBookRecord::pageImageKinds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QFETCH(int, kindFromHeaders);
    QFETCH(QSize, size);
    for (const auto &[reading, expected] : {std::pair(PageReading::Whole, kind), std::pair(PageReading::Headers, kindFromHeaders)}) {
        const PageImageInfo info = InspectPageImage(bytes, reading);
        QCOMPARE(int(info.kind), expected);
        QCOMPARE(info.usable(), expected != int(PageImageInfo::Kind::None));
        if (info.usable()) {
            QCOMPARE(QSize(info.width, info.height), size);
            QVERIFY(info.reason.isEmpty());
        } else {
            QVERIFY(!info.reason.isEmpty());
        }
    }
}

void TestBookRecord::reportWithoutAPageImageKeepsTheStoredPage_data()
{
    QTest::addColumn<QString>("img");
    QTest::addColumn<QString>("reason");
    QTest::newRow("image not loaded yet") << "data:," << "no image data";
    QTest::newRow("no image") << QString() << "no image data";
    QTest::newRow("not an image") << dataUrl("four") << "neither a PNG nor a JPEG image";
    QTest::newRow("PNG of 0 x 0") << dataUrl(pngHeader(0, 0, 8, 6)) << "its image of 0 x 0 pixels is empty";
    QTest::newRow("PNG cut short") << dataUrl(samplePng().left(300)) << "the PNG image is cut short";
    QTest::newRow("a 67-byte PNG") << dataUrl(pngHeader(1, 1, 8, 0).left(67)) << "its 67 bytes are fewer than a page image has";
}

void TestBookRecord::reportWithoutAPageImageKeepsTheStoredPage()
{
    QFETCH(QString, img);
    QFETCH(QString, reason);
    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=pages.kept"));
    book.setWorking(true);
    const QByteArray good = pagePng(3);
    QVERIFY(book.SvePDFPage(report(QJsonValue("3"), dataUrl(good))));
    QVERIFY(book.SvePDFPage(report(QJsonValue("4"), dataUrl(pagePng(4)))));
    QString refusal;
    QVERIFY(!book.SvePDFPage(report(QJsonValue("3"), img), &refusal));
    QCOMPARE(refusal, reason);
    QCOMPARE(readFile(PageFilePath(book.dirid, 3)), good);
    QCOMPARE(book.curpage, 4); // still the last page stored
    QCOMPARE(book.imgpageno, QStringLiteral("4"));
    QVERIFY(!book.Saveblobimg(img));
    QCOMPARE(readFile(PageFilePath(book.dirid, 4)), pagePng(4));
    QCOMPARE(QDir(book.PageFolder()).entryList(QDir::Files), (QStringList{"0003.jpg", "0004.jpg"}));
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
        book.SvePDFPage(report(QJsonValue("2"), dataUrl(pagePng(2))));
        QFAIL("no error");
    } catch (const AppError &e) {
        QVERIFY2(e.message().startsWith(QStringLiteral("Cannot create file \"%1\". ").arg(path)), qPrintable(e.message()));
        QVERIFY(e.message().size() > QStringLiteral("Cannot create file \"%1\". ").arg(path).size());
    }
    QCOMPARE(book.curpage, 2); // set before the write
}

QM_TEST_MAIN(TestBookRecord)
#include "tst_vbooks.moc"
