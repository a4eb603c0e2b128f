// Building a book's PDF from its page files, checked by independent PDF readers.
#include "activitylog.h"
#include "logrecorder.h"
#include "apperror.h"
#include "folders.h"
#include "pagefile.h"
#include "pdfassembly.h"
#include "pdfcheck.h"
#include "pdfprinter.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QByteArray encode(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// A page as the viewer's canvas exports it: an opaque RGBA PNG.
QImage canvasPage(int width, int height, const QColor &paper, const QColor &ink, bool smooth = true)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(paper);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, smooth);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    for (int y = 20; y < height - 20; y += 24)
        p.drawEllipse(QRectF(15, y, width * 0.7, 9));
    return image;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Compares a PDF image (and its soft mask) with the decoded page file; empty when equal.
QString comparePixels(const QImage &reference, const PdfCheck::Image &image, const PdfCheck::Image *mask, int tolerance)
{
    const QImage ref = reference.convertToFormat(QImage::Format_ARGB32);
    const QImage got = QImage(image.file).convertToFormat(QImage::Format_ARGB32);
    const QImage alpha = mask ? QImage(mask->file).convertToFormat(QImage::Format_ARGB32) : QImage();
    if (got.size() != ref.size())
        return QStringLiteral("size %1x%2").arg(got.width()).arg(got.height());
    auto near = [tolerance](int a, int b) { return std::abs(a - b) <= tolerance; };
    for (int y = 0; y < ref.height(); ++y) {
        for (int x = 0; x < ref.width(); ++x) {
            const QRgb r = ref.pixel(x, y), g = got.pixel(x, y);
            const int a = mask ? qRed(alpha.pixel(x, y)) : 255;
            // Colour under full transparency is not shown and need not survive.
            const bool colourMatters = qAlpha(r) != 0;
            if ((colourMatters && (!near(qRed(r), qRed(g)) || !near(qGreen(r), qGreen(g)) || !near(qBlue(r), qBlue(g))))
                || !near(qAlpha(r), a))
                return QStringLiteral("pixel %1,%2: %3 / alpha %4, expected %5").arg(x).arg(y).arg(g, 8, 16).arg(a).arg(r, 8, 16);
        }
    }
    return {};
}

} // namespace

class TestPdfBuild : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void pagesOfEveryKindWithOneMissing();
    void unusablePageFilesAreMissing_data();
    void unusablePageFilesAreMissing();
    void pngSuite();
    void damagedPageKeepsEarlierPdf();
    void farPageAndLongId();
    void noPages_data();
    void noPages();
    void exportErrors();
    void secondBuildIsRefused();

private:
    TePubobj *newBook(const QString &id, int totalPages);
    // Builds the book's PDF on its builder and waits for the outcome.
    BookBuildOutcome build();
    void writePage(int page, const QByteArray &bytes);
    double points(int pixels) const { return pixels * 72.0 / ScreenPixelsPerInch(); }

    LogRecorder log;
    std::unique_ptr<TePubobj> book;
    int total = 0;
    QTemporaryDir scratch;
};

void TestPdfBuild::initTestCase()
{
    SetupFolders();
    SetActivityLogSink(&log);
    QVERIFY(!PdfCheck::run(QStringLiteral("qpdf"), {QStringLiteral("--version")}).isNull());
}

void TestPdfBuild::init()
{
    log.lines = QStringList{QStringLiteral("Build pdf file, wait....")};
    TCustomPDFExport::DLLName = QStringLiteral("converter.dll");
}

TePubobj *TestPdfBuild::newBook(const QString &id, int totalPages)
{
    book = std::make_unique<TePubobj>();
    book->getID(QStringLiteral("http://h/cgi/pt?id=") + id);
    book->setWorking(true);
    total = totalPages;
    return book.get();
}

BookBuildOutcome TestPdfBuild::build()
{
    BookBuildOutcome outcome;
    bool done = false;
    if (!book->BuildBook(total, [&](const BookBuildOutcome &o) {
            outcome = o;
            done = true;
        }))
        return outcome;
    if (!QTest::qWaitFor([&] { return done; }, 120000))
        outcome.error = QStringLiteral("the build did not end");
    return outcome;
}

void TestPdfBuild::writePage(int page, const QByteArray &bytes)
{
    QFile f(PageFilePath(book->dirid, page));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

void TestPdfBuild::pagesOfEveryKindWithOneMissing()
{
    newBook(QStringLiteral("kinds.1"), 5);
    const QImage gray = canvasPage(1200, 1800, QColor(235, 235, 235), QColor(30, 30, 30));
    const QImage colour = canvasPage(700, 900, QColor(242, 232, 208), QColor(90, 50, 20));
    const QImage blackWhite = canvasPage(640, 480, Qt::white, Qt::black, false);
    const QByteArray jpeg = encode(canvasPage(500, 650, QColor(250, 250, 240), Qt::darkBlue).convertToFormat(QImage::Format_RGB32), "JPG", 85);
    QVERIFY(jpeg.mid(6, 4) == "JFIF");
    writePage(1, encode(gray, "PNG"));
    writePage(2, encode(colour, "PNG"));
    writePage(4, encode(blackWhite, "PNG"));
    writePage(5, jpeg);

    const BookBuildOutcome outcome = build();
    const QString pdf = AppFolders().dataFolder + QStringLiteral("kinds.1.pdf");
    QCOMPARE(outcome.kind, BookBuildOutcome::Written);
    QCOMPARE(outcome.result.missing, QStringLiteral(" 3"));
    QCOMPARE(outcome.path, pdf);
    QCOMPARE(book->outputfile, pdf);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    QCOMPARE(PdfCheck::pageSizes(pdf), (QList<QSizeF>{QSizeF(points(1200), points(1800)), QSizeF(points(700), points(900)),
                                                       QSizeF(points(640), points(480)), QSizeF(points(500), points(650))}));
    if (ScreenPixelsPerInch() == 96)
        QCOMPARE(PdfCheck::pageSizes(pdf).first(), QSizeF(900, 1350));

    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, scratch.path() + QStringLiteral("/kinds"));
    QCOMPARE(images.size(), 4); // opaque: no soft masks
    QCOMPARE(images[0].color, QStringLiteral("gray"));
    QCOMPARE(images[0].bpc, 8);
    QCOMPARE(images[1].color, QStringLiteral("rgb"));
    QCOMPARE(images[2].color, QStringLiteral("gray"));
    QCOMPARE(images[2].bpc, 1);
    QCOMPARE(images[3].encoding, QStringLiteral("jpeg"));
    for (int i = 0; i < 3; ++i) {
        const QImage reference = i == 0 ? gray : i == 1 ? colour : blackWhite;
        const QString difference = comparePixels(reference, images[i], nullptr, 0);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }
    QCOMPARE(readAll(images[3].file), jpeg); // the page's own bytes
}

void TestPdfBuild::unusablePageFilesAreMissing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray png = encode(canvasPage(300, 300, Qt::white, Qt::black), "PNG");
    QByteArray exifOnly = encode(canvasPage(300, 300, Qt::white, Qt::red).convertToFormat(QImage::Format_RGB32), "JPG");
    // Replace the JFIF segment (APP0) with an Exif one (APP1).
    const int app0Length = (uchar(exifOnly[4]) << 8) | uchar(exifOnly[5]);
    exifOnly = exifOnly.left(2) + QByteArray("\xFF\xE1\x00\x0E" "Exif\0\0MM\0\x2A\0\0", 16) + exifOnly.mid(4 + app0Length);
    QTest::newRow("zero bytes") << QByteArray();
    QTest::newRow("199 bytes of a PNG") << png.left(199);
    QTest::newRow("not an image") << QByteArray(400, 'x');
    QTest::newRow("Exif-only JPEG") << exifOnly;
}

void TestPdfBuild::unusablePageFilesAreMissing()
{
    QFETCH(QByteArray, bytes);
    newBook(QStringLiteral("unusable.") + QString::number(qHash(QTest::currentDataTag())), 2);
    writePage(1, bytes);
    writePage(2, encode(canvasPage(200, 300, Qt::white, Qt::gray), "PNG"));
    QCOMPARE(build().result.missing, QStringLiteral(" 1"));
    QCOMPARE(PdfCheck::pageSizes(book->outputfile).size(), 1);
    QVERIFY(PdfCheck::qpdfCheck(book->outputfile));
}

void TestPdfBuild::pngSuite()
{
    QDir suite(QStringLiteral(PNGSUITE_DIR));
    if (!suite.exists())
        QSKIP("PngSuite is not beside the project");
    const QStringList files = suite.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() > 100);
    int drawn = 0, refused = 0, tooSmall = 0;
    QStringList mismatches;
    for (const QString &name : files) {
        const QByteArray bytes = readAll(suite.filePath(name));
        newBook(QStringLiteral("suite.") + name.chopped(4), 1);
        writePage(1, bytes);
        const BookBuildOutcome outcome = build();
        if (outcome.kind == BookBuildOutcome::Failed) {
            // Only the broken files of the suite may fail, and the message names the page.
            QVERIFY2(name.startsWith(QLatin1Char('x')), qPrintable(name + ": " + outcome.error));
            QVERIFY(outcome.error.contains(PageFilePath(book->dirid, 1)));
            QVERIFY(book->outputfile.isEmpty());
            ++refused;
            continue;
        }
        if (outcome.result.missing == QLatin1String(" 1")) {
            QVERIFY2(bytes.size() < 200 || name.startsWith(QLatin1Char('x')), qPrintable(name));
            ++tooSmall;
            continue;
        }
        QVERIFY2(PdfCheck::qpdfCheck(book->outputfile), qPrintable(name));
        QVERIFY2(!name.startsWith(QLatin1Char('x')), qPrintable(name + " was drawn"));
        const QList<PdfCheck::Image> images = PdfCheck::images(book->outputfile, scratch.path() + QLatin1Char('/') + name);
        QVERIFY2(images.size() == 1 || (images.size() == 2 && images[1].type == QLatin1String("smask")), qPrintable(name));
        QImage reference;
        QVERIFY(reference.loadFromData(bytes));
        // 16-bit samples are drawn at 8 bits; the reference reader may round the other way.
        const int tolerance = reference.depth() == 64 || name.contains(QLatin1String("16")) ? 1 : 0;
        // Qt's reader mishandles the transparent colour (tRNS) of 16-bit truecolour files, so it
        // cannot serve as the reference for them; libpng applies it as PNG says.
        if (name == QLatin1String("tbbn2c16.png") || name == QLatin1String("tbgn2c16.png")) {
            QCOMPARE(images.size(), 2);
            ++drawn;
            continue;
        }
        const QString difference = comparePixels(reference, images[0], images.size() == 2 ? &images[1] : nullptr, tolerance);
        if (!difference.isEmpty())
            mismatches << name + ": " + difference;
        ++drawn;
    }
    qInfo("PngSuite: %d drawn, %d too small, %d refused", drawn, tooSmall, refused);
    QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(QLatin1Char('\n'))));
    QVERIFY(drawn > 50);
}

void TestPdfBuild::damagedPageKeepsEarlierPdf()
{
    newBook(QStringLiteral("damaged.1"), 2);
    const QByteArray page2 = encode(canvasPage(400, 500, Qt::white, Qt::darkGreen), "PNG");
    writePage(1, encode(canvasPage(400, 500, Qt::white, Qt::black), "PNG"));
    writePage(2, page2);
    QCOMPARE(build().kind, BookBuildOutcome::Written);
    const QString pdf = book->outputfile;
    const QByteArray good = readAll(pdf);
    QVERIFY(!good.isEmpty());

    writePage(2, page2.left(page2.size() / 2)); // cut off mid-image
    const BookBuildOutcome outcome = build();
    QCOMPARE(outcome.kind, BookBuildOutcome::Failed);
    QVERIFY2(outcome.error.contains(PageFilePath(book->dirid, 2)), qPrintable(outcome.error));
    QCOMPARE(book->outputfile, QString());
    QCOMPARE(readAll(pdf), good); // the earlier PDF is untouched
    QCOMPARE(QDir(AppFolders().dataFolder).entryList({QStringLiteral("*.part*")}, QDir::Files), QStringList());
}

void TestPdfBuild::farPageAndLongId()
{
    const QString id = QStringLiteral("long.") + QString(130, QLatin1Char('x'));
    newBook(id, 12345);
    writePage(12345, encode(canvasPage(300, 400, Qt::white, Qt::blue), "PNG"));
    const BookBuildOutcome outcome = build();
    const QString pdf = AppFolders().dataFolder + id.left(100) + QStringLiteral(".pdf");
    QCOMPARE(book->outputfile, pdf);
    QCOMPARE(PdfCheck::pageSizes(pdf).size(), 1);
    QVERIFY(outcome.result.missing.startsWith(QStringLiteral(" 1 2 3 ")));
    QVERIFY(outcome.result.missing.endsWith(QStringLiteral(" 12343 12344")));
}

void TestPdfBuild::noPages_data()
{
    QTest::addColumn<int>("totalPages");
    QTest::addColumn<bool>("pageFile");
    QTest::newRow("no page count") << 0 << true;
    QTest::newRow("no page file") << 3 << false;
}

void TestPdfBuild::noPages()
{
    QFETCH(int, totalPages);
    QFETCH(bool, pageFile);
    newBook(QStringLiteral("empty.") + QString::number(totalPages), totalPages);
    // An earlier, complete PDF of the book stays as it is.
    const QString pdf = book->PdfPath();
    QFile earlier(pdf);
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("%PDF-1.5 earlier");
    earlier.close();
    if (pageFile)
        writePage(1, encode(canvasPage(300, 400, Qt::white, Qt::blue), "PNG"));
    const BookBuildOutcome outcome = build();
    QCOMPARE(outcome.kind, BookBuildOutcome::NoPages);
    QCOMPARE(outcome.result.pagesWritten, 0);
    QCOMPARE(readAll(pdf), QByteArray("%PDF-1.5 earlier"));
    QVERIFY(book->outputfile.isEmpty());
    QCOMPARE(QDir(AppFolders().dataFolder).entryList({QStringLiteral("*.part*")}, QDir::Files), QStringList());
}

void TestPdfBuild::exportErrors()
{
    auto beginDocMessage = [](const QString &dllName, const QByteArray &file) {
        TCustomPDFExport::DLLName = dllName;
        TPDFPrinter pdf;
        pdf.Filename = file;
        try {
            pdf.BeginDoc();
        } catch (const AppError &e) {
            return e.message();
        }
        return QString();
    };
    const QByteArray out = QFile::encodeName(scratch.path() + QStringLiteral("/x.pdf"));
    QCOMPARE(beginDocMessage(QStringLiteral("missing.dll"), out),
             QStringLiteral("DLL \"%1libmissing.so\" was not found. PDF Export is not possible.").arg(AppFolders().programFolder));
    QCOMPARE(beginDocMessage(QStringLiteral(BROKEN_CONVERTER), out),
             QStringLiteral("DLL \"%1\" is not compatible. PDF Export is not possible.").arg(BROKEN_CONVERTER));
    QCOMPARE(beginDocMessage(QStringLiteral("converter.dll"), "/nonexistent/folder/x.pdf"), QStringLiteral("Error in BeginDoc!"));
    QCOMPARE(beginDocMessage(QStringLiteral("converter.dll"), out), QString());
    QVERIFY(!QFile::exists(QString::fromLocal8Bit(out))); // never completed: nothing left
}

void TestPdfBuild::secondBuildIsRefused()
{
    newBook(QStringLiteral("twice.1"), 3);
    for (int i = 1; i <= 3; ++i)
        writePage(i, encode(canvasPage(300, 400, Qt::white, Qt::black), "PNG"));
    BookBuildOutcome outcome;
    bool done = false;
    QVERIFY(book->BuildBook(total, [&](const BookBuildOutcome &o) {
        outcome = o;
        done = true;
    }));
    QVERIFY(!book->BuildBook(total, [](const BookBuildOutcome &) { QFAIL("a second build ran"); }));
    QVERIFY(QTest::qWaitFor([&] { return done; }, 60000));
    QCOMPARE(outcome.kind, BookBuildOutcome::Written);
    QVERIFY(PdfCheck::qpdfCheck(book->outputfile));
    QCOMPARE(PdfCheck::pageSizes(book->outputfile).size(), 3);
}

QM_TEST_MAIN(TestPdfBuild)
#include "tst_pdfbuild.moc"
