// Building a book's PDF from its page files, checked by independent PDF readers.
#include "activitylog.h"
#include "logrecorder.h"
#include "apperror.h"
#include "folders.h"
#include "pagefile.h"
#include "pagefixtures.h"
#include "pdfassembly.h"
#include "pdfcheck.h"
#include "pageimage.h"
#include "pdfprinter.h"
#include "testenv.h"
#include "vbooks.h"

#include <QApplication>
#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>
#include <QPdfDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <cstdio>
#include <jpeglib.h>
#include <thread>
#include <unistd.h>

using namespace PageFixtures;

namespace {

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

// A page drawn by a reader ("poppler" or "pdfium", through QtPdf) at size pixels, on a
// transparent background.
QImage render(const QString &reader, const QString &pdf, QSize size, int page = 1)
{
    if (reader == QLatin1String("poppler"))
        return PdfCheck::renderWithPoppler(pdf, page, size, pdf + QStringLiteral(".drawn"));
    QPdfDocument document;
    if (document.load(pdf) != QPdfDocument::Error::None)
        return {};
    return document.render(page - 1, size);
}

// Compares a drawn page with the picture it shows, colours weighted by their opacity (colour
// under full transparency is not shown and need not survive); empty when equal within
// tolerance.
QString compareDrawn(const QImage &reference, const QImage &drawn, int tolerance, int margin = 0)
{
    const QImage ref = reference.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage got = drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (got.size() != ref.size())
        return QStringLiteral("size %1x%2, expected %3x%4").arg(got.width()).arg(got.height()).arg(ref.width()).arg(ref.height());
    auto near = [tolerance](int a, int b) { return std::abs(a - b) <= tolerance; };
    for (int y = margin; y < ref.height() - margin; ++y) {
        for (int x = margin; x < ref.width() - margin; ++x) {
            const QRgb r = ref.pixel(x, y), g = got.pixel(x, y);
            if (!near(qRed(r), qRed(g)) || !near(qGreen(r), qGreen(g)) || !near(qBlue(r), qBlue(g)) || !near(qAlpha(r), qAlpha(g)))
                return QStringLiteral("pixel %1,%2: %3, expected %4").arg(x).arg(y).arg(g, 8, 16).arg(r, 8, 16);
        }
    }
    return {};
}

// The picture a viewer shows: four quarters of their own colours, so that each turn and mirror
// of it looks different.
QImage uprightPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.fillRect(0, 0, width / 2, height / 2, QColor(200, 30, 30));
    p.fillRect(width / 2, 0, width - width / 2, height / 2, QColor(30, 170, 40));
    p.fillRect(0, height / 2, width / 2, height - height / 2, QColor(30, 40, 190));
    p.fillRect(width / 2, height / 2, width - width / 2, height - height / 2, QColor(230, 210, 40));
    return image;
}

// The image to store so that, turned as the EXIF orientation says, it shows as upright.
QImage storedFor(const QImage &upright, int orientation)
{
    const bool across = orientation >= 5;
    const int w = across ? upright.height() : upright.width(), h = across ? upright.width() : upright.height();
    QImage stored(w, h, QImage::Format_RGB32);
    for (int r = 0; r < h; ++r) {
        for (int c = 0; c < w; ++c) {
            // Where the stored pixel (c, r) is shown.
            const QPoint shown[] = {{c, r}, {c, r}, {w - 1 - c, r}, {w - 1 - c, h - 1 - r}, {c, h - 1 - r},
                                    {r, c}, {h - 1 - r, c}, {h - 1 - r, w - 1 - c}, {r, w - 1 - c}};
            stored.setPixel(c, r, upright.pixel(shown[orientation]));
        }
    }
    return stored;
}

// Mean colours over a coarse grid, where the JPEG's blur along the colour edges evens out; a
// wrong turn puts another quarter's colour, far off, in a cell.
QImage coarse(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB32).scaled(image.width() / 8, image.height() / 8, Qt::IgnoreAspectRatio,
                                                            Qt::SmoothTransformation);
}

// Mean difference of the colour samples of two images of one size, in levels of 255.
double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size())
        return 255;
    qint64 sum = 0;
    for (int row = 0; row < x.height(); ++row)
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row), q = y.pixel(column, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return double(sum) / (3.0 * x.width() * x.height());
}

QStringList partFiles(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.part*")}, QDir::Files);
}

// A build of pages 1..totalPages of folder into pdf, at 96 pixels per inch.
PdfBuildRequest buildRequest(const QString &folder, int totalPages, const QString &pdf)
{
    PdfBuildRequest request;
    request.pageFolder = folder;
    request.totalPages = totalPages;
    request.outputPath = pdf;
    return request;
}

} // namespace

class TestPdfBuild : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void pagesOfEveryKindWithOneMissing();
    void pageFiles_data();
    void pageFiles();
    void pngSuite_data();
    void pngSuite();
    void largePalettePage();
    void jpegOrientation_data();
    void jpegOrientation();
    void textOnTurnedPage_data();
    void textOnTurnedPage();
    void pageSizeFromResolution_data();
    void pageSizeFromResolution();
    void jpegColourProfile_data();
    void jpegColourProfile();
    void colourAsBrowsersShow_data();
    void colourAsBrowsersShow();
    void damagedPageIsListedWithItsReason();
    void mixedPagesInOrderOffTheCallingThread();
    void cancel_data();
    void cancel();
    void stalePartFiles();
    void noUsablePage_data();
    void noUsablePage();
    void tooManyPages();
    void textThatCannotBeRecognised();
    void pdfbuildWithText();
    void farPageAndLongId();
    void exportErrors();
    void secondBuildIsRefused();

private:
    TePubobj *newBook(const QString &id, int totalPages);
    // Builds the book's PDF on its builder, off this thread, and waits for the outcome.
    BookBuildOutcome build();
    void writePage(int page, const QByteArray &bytes);
    // A folder of its own for a build, its page files written from the list (empty: missing).
    QString pageFolder(const QString &name, const QList<QByteArray> &pages);
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

QString TestPdfBuild::pageFolder(const QString &name, const QList<QByteArray> &pages)
{
    const QString folder = scratch.path() + QLatin1Char('/') + name + QLatin1Char('/');
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    for (int i = 0; i < pages.size(); ++i) {
        if (pages[i].isNull())
            continue;
        QFile f(folder + PageFileName(i + 1));
        if (f.open(QIODevice::WriteOnly))
            f.write(pages[i]);
    }
    return folder;
}

void TestPdfBuild::pagesOfEveryKindWithOneMissing()
{
    const QImage gray = canvasPage(1200, 1800, QColor(235, 235, 235), QColor(30, 30, 30));
    const QImage colour = canvasPage(700, 900, QColor(242, 232, 208), QColor(90, 50, 20));
    const QImage blackWhite = canvasPage(640, 480, Qt::white, Qt::black, false);
    const QByteArray jpeg = encoded(canvasPage(500, 650, QColor(250, 250, 240), Qt::darkBlue).convertToFormat(QImage::Format_RGB32), "JPG", 85);
    QVERIFY(jpeg.mid(6, 4) == "JFIF");
    const QString folder = pageFolder(QStringLiteral("kinds"), {encoded(gray, "PNG"), encoded(colour, "PNG"), QByteArray(),
                                                                encoded(blackWhite, "PNG"), jpeg});
    const QString pdf = scratch.path() + QStringLiteral("/kinds.pdf");
    QList<int> progress;
    PdfBuildRequest request = buildRequest(folder, 5, pdf);
    request.ppi = ScreenPixelsPerInch();
    const PdfBuildResult result = AssemblePdf(request, [&](int page) { progress << page; });
    QCOMPARE(result.missing, QStringLiteral(" 3"));
    QCOMPARE(result.pagesWritten, 4);
    QCOMPARE(progress, (QList<int>{1, 2, 3, 4, 5}));
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    QCOMPARE(PdfCheck::pageSizes(pdf), (QList<QSizeF>{QSizeF(points(1200), points(1800)), QSizeF(points(700), points(900)),
                                                       QSizeF(points(640), points(480)), QSizeF(points(500), points(650))}));
    if (ScreenPixelsPerInch() == 96)
        QCOMPARE(PdfCheck::pageSizes(pdf).first(), QSizeF(900, 1350));

    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, scratch.path() + QStringLiteral("/kinds-images"));
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

enum class Outcome { Drawn, Unreadable };

void TestPdfBuild::pageFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("detail");     // Drawn: the image's colour space; Unreadable: the reason
    QTest::addColumn<QByteArray>("embedded"); // Drawn: the JPEG stream the PDF holds (empty: the file)

    const QByteArray png = encoded(canvasPage(300, 300, Qt::white, Qt::black), "PNG");
    const QImage photo = canvasPage(320, 240, QColor(200, 220, 250), QColor(120, 30, 30));
    const QByteArray jpeg = qtJpeg(photo);
    QByteArray exifOnly = encoded(canvasPage(300, 300, Qt::white, Qt::red).convertToFormat(QImage::Format_RGB32), "JPG");
    // Replace the JFIF segment (APP0) with an Exif one (APP1).
    const int app0Length = (uchar(exifOnly[4]) << 8) | uchar(exifOnly[5]);
    exifOnly = exifOnly.left(2) + QByteArray("\xFF\xE1\x00\x0E" "Exif\0\0MM\0\x2A\0\0", 16) + exifOnly.mid(4 + app0Length);
    QTest::newRow("zero bytes") << QByteArray("") << Outcome::Unreadable << QStringLiteral("no image data") << QByteArray();
    QTest::newRow("199 bytes of a PNG") << png.left(199) << Outcome::Unreadable << QStringLiteral("its 199 bytes are fewer")
                                        << QByteArray();
    QTest::newRow("not an image") << QByteArray(400, 'x') << Outcome::Unreadable << QStringLiteral("neither a PNG nor a JPEG")
                                  << QByteArray();
    QTest::newRow("Exif-only JPEG") << exifOnly << Outcome::Drawn << QStringLiteral("rgb") << QByteArray();
    QTest::newRow("Adobe CMYK JPEG without JFIF") << libjpegFile(64, 48, JCS_CMYK, false, false) << Outcome::Drawn
                                                  << QStringLiteral("cmyk") << QByteArray();

    QTest::newRow("truncated JPEG") << jpeg.left(jpeg.size() * 2 / 3) << Outcome::Unreadable << QStringLiteral("cut short")
                                    << QByteArray();
    QByteArray corrupt = jpeg;
    corrupt.replace(corrupt.size() / 2, 8, QByteArray("\xFF\xC0\x00\x11\x08\x00\x10\x00", 8)); // garbled in transfer
    QTest::newRow("corrupt JPEG") << corrupt << Outcome::Unreadable << QStringLiteral("second frame header") << QByteArray();
    QByteArray twelveBit = jpeg;
    const qsizetype sof = jpegSegment(twelveBit, 0xC0);
    twelveBit[sof + 1] = char(0xC1); // extended sequential,
    twelveBit[sof + 4] = 12;         // 12 bits per sample
    QTest::newRow("12-bit JPEG") << twelveBit << Outcome::Unreadable << QStringLiteral("12-bit JPEG is not supported") << QByteArray();
    QTest::newRow("CMYK JPEG with Adobe marker") << libjpegFile(64, 48, JCS_CMYK) << Outcome::Drawn << QStringLiteral("cmyk")
                                                 << QByteArray();
    QTest::newRow("YCCK JPEG with Adobe marker") << libjpegFile(64, 48, JCS_YCCK) << Outcome::Drawn << QStringLiteral("cmyk")
                                                 << QByteArray();
    // A phone camera's second picture (or a gain map) after the first one's end: cut off.
    QTest::newRow("a second picture after the end marker") << jpeg + qtJpeg(photo.scaled(80, 60)) << Outcome::Drawn
                                                           << QStringLiteral("rgb") << jpeg;
    // Bytes that are no marker between two segments, as libjpeg skips them: left out.
    const qsizetype dht = jpegSegment(jpeg, 0xC4);
    const QByteArray strays = jpeg.left(dht) + QByteArray("\x12\x34\xFF\x00", 4) + jpeg.mid(dht);
    QTest::newRow("stray bytes between segments") << strays << Outcome::Drawn << QStringLiteral("rgb") << jpeg;
    // Arithmetic-coded: the same coefficients with Huffman codes, checked against the file
    // pixel for pixel.
    QTest::newRow("arithmetic-coded JPEG") << libjpegFile(64, 48, JCS_YCbCr, true) << Outcome::Drawn << QStringLiteral("rgb")
                                           << QByteArray("decodes the same");
    // Larger than the first output buffer: written on as the buffer grows.
    QTest::newRow("arithmetic-coded JPEG of 1600 x 1200") << libjpegFile(1600, 1200, JCS_YCbCr, true) << Outcome::Drawn
                                                          << QStringLiteral("rgb") << QByteArray("decodes the same");

    // Over the page limit: JPEGs go in without being decoded.
    QTest::newRow("a blank page of 10240 x 10240 pixels") << blankGrayJpeg(10240, 10240) << Outcome::Drawn
                                                        << QStringLiteral("gray") << QByteArray();

    // Headers that would have the loader allocate gigabytes before reading any data.
    QTest::newRow("PNG bomb: 1 x 352,321,536 pixels") << claimingPng(1, 352'321'536, 2) << Outcome::Unreadable
                                                      << QStringLiteral("larger than a book page can be") << QByteArray();
    QTest::newRow("PNG bomb: 9000 x 9000 pixels") << claimingPng(9000, 9000, 0) << Outcome::Unreadable
                                                  << QStringLiteral("more than its") << QByteArray();
    QByteArray progressive = qtJpeg(canvasPage(64, 64, Qt::white, Qt::black), true);
    const qsizetype sof2 = jpegSegment(progressive, 0xC2);
    putWord(progressive, sof2 + 5, 20000);
    putWord(progressive, sof2 + 7, 20000);
    QTest::newRow("progressive JPEG bomb: 20000 x 20000 pixels") << progressive << Outcome::Unreadable
                                                                 << QStringLiteral("more than its") << QByteArray();
}

// Each page file as page 2 of 3: drawn, or missing with the reason it cannot be read while the
// other pages are built.
void TestPdfBuild::pageFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Outcome, outcome);
    QFETCH(QString, detail);
    QFETCH(QByteArray, embedded);
    if (QByteArray(QTest::currentDataTag()).contains("bomb"))
        QVERIFY2(bytes.size() >= 200 && bytes.size() < 4000, qPrintable(QString::number(bytes.size())));
    const QByteArray plain = encoded(canvasPage(200, 300, Qt::white, Qt::gray), "PNG");
    const QString name = QStringLiteral("file.") + QString::number(qHash(QTest::currentDataTag()));
    const QString pdf = scratch.path() + QLatin1Char('/') + name + QStringLiteral(".pdf");
    const QString folder = pageFolder(name, {plain, bytes, plain});
    const PdfBuildResult result = AssemblePdf(buildRequest(folder, 3, pdf));
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    if (outcome == Outcome::Unreadable) {
        QCOMPARE(result.missing, QStringLiteral(" 2"));
        QVERIFY2(result.unreadable.value(2).contains(detail), qPrintable(result.unreadable.value(2)));
        QCOMPARE(MissingPagesText(result), QStringLiteral(" 2 (cannot be read: %1)").arg(result.unreadable.value(2)));
        QCOMPARE(PdfCheck::pageSizes(pdf).size(), 2);
        return;
    }
    QCOMPARE(result.missing, QString());
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, scratch.path() + QLatin1Char('/') + name + QStringLiteral("-images"));
    QCOMPARE(images.size(), 3);
    QCOMPARE(images[1].color, detail);
    QCOMPARE(images[1].encoding, QStringLiteral("jpeg"));
    const QByteArray stream = readAll(images[1].file);
    if (embedded == "decodes the same") {
        QVERIFY(stream != bytes);
        QImage fromFile, fromPdf;
        QVERIFY(fromFile.loadFromData(bytes) && fromPdf.loadFromData(stream));
        QCOMPARE(fromPdf, fromFile);
    } else {
        QCOMPARE(stream, embedded.isEmpty() ? bytes : embedded);
    }
}

void TestPdfBuild::pngSuite_data()
{
    QTest::addColumn<QString>("name");
    const QDir suite(QStringLiteral(PNGSUITE_DIR));
    for (const QString &name : suite.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name))
        QTest::newRow(qPrintable(name)) << name;
}

// Every file of PngSuite as a page: the broken ones (x...) refused or missing, the others drawn
// as Qt reads them, by two renderers, at their own depth: palette and small gray depths are
// never widened.
void TestPdfBuild::pngSuite()
{
    QFETCH(QString, name);
    const QByteArray bytes = readAll(QStringLiteral(PNGSUITE_DIR "/") + name);
    const QString folder = pageFolder(QStringLiteral("suite"), {bytes});
    const QString pdf = scratch.path() + QStringLiteral("/suite-") + name.chopped(4) + QStringLiteral(".pdf");
    const bool broken = name.startsWith(QLatin1Char('x'));
    PdfBuildResult result;
    try {
        result = AssemblePdf(buildRequest(folder, 1, pdf));
    } catch (const AppError &e) {
        // Only the broken files of the suite may fail, and the message names the page.
        QVERIFY2(broken, qPrintable(e.message()));
        QVERIFY(e.message().contains(folder + PageFileName(1)));
        QVERIFY(!QFile::exists(pdf));
        return;
    }
    if (result.pagesWritten == 0) {
        QCOMPARE(result.missing, QStringLiteral(" 1"));
        QVERIFY(!QFile::exists(pdf));
        QVERIFY(bytes.size() < 200 || broken);
        return;
    }
    QVERIFY(!broken);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    QImage reference;
    QVERIFY(reference.loadFromData(bytes));
    // As a browser shows it: a gamma (gAMA, which nearly every file of the suite has) applied
    // for an sRGB screen. Qt's reader keeps it as the image's colour space and converts here.
    if (reference.colorSpace().isValid() && reference.colorSpace() != QColorSpace(QColorSpace::SRgb))
        reference = reference.convertToFormat(QImage::Format_RGBA64).convertedToColorSpace(QColorSpace::SRgb);
    // Palettes and gray of 1, 2 or 4 bits keep their depth (3 is the palette colour type); gray
    // that a gamma changes becomes a palette of the grays shown.
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, scratch.path() + QLatin1Char('/') + name);
    QVERIFY(!images.isEmpty());
    const int colourType = bytes.at(25), bitDepth = bytes.at(24);
    if (colourType == 3 || (colourType == 0 && bitDepth < 8)) {
        const bool grayPalette = bitDepth > 1 && bytes.contains("gAMA");
        QVERIFY2(images[0].color == QLatin1String(colourType == 3 || grayPalette ? "index" : "gray"), qPrintable(images[0].color));
        QCOMPARE(images[0].bpc, bitDepth);
    }
    // Qt's reader mishandles the transparent colour (tRNS) of 16-bit truecolour files, so it
    // cannot serve as the reference for them; libpng applies it as PNG says.
    if (name == QLatin1String("tbbn2c16.png") || name == QLatin1String("tbgn2c16.png"))
        return;
    // 16-bit samples are drawn at 8 bits; the reference reader may round the other way.
    const int tolerance = reference.depth() == 64 || name.contains(QLatin1String("16")) ? 2 : 1;
    for (const QString &reader : {QStringLiteral("poppler"), QStringLiteral("pdfium")}) {
        const QImage drawn = render(reader, pdf, reference.size());
        const QString difference = compareDrawn(reference, drawn, tolerance);
        QVERIFY2(difference.isEmpty(), qPrintable(reader + QStringLiteral(": ") + difference));
    }
}

// A page of 10000 x 10000 pixels in a 1-bit palette with a transparent entry: the PDF holds
// it as it is, 1 bit per pixel with its palette and a colour key, not widened to colour.
void TestPdfBuild::largePalettePage()
{
    const int side = 10000;
    QByteArray header(13, '\0');
    for (int i = 0; i < 4; ++i)
        header[i] = header[4 + i] = char(side >> (24 - 8 * i));
    header[8] = 1; // bit depth
    header[9] = 3; // palette
    // Rows of text-like stripes on a clear ground.
    QByteArray raw;
    raw.reserve((side / 8 + 1) * side);
    for (int y = 0; y < side; ++y) {
        raw += '\0';
        const bool ink = (y / 12) % 3 == 1;
        for (int b = 0; b < side / 8; ++b)
            raw += ink && (b / 5 + y / 36) % 4 != 0 ? char(0xF0 >> (y % 3)) : '\0';
    }
    const QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header)
                           + pngChunk("PLTE", QByteArray("\xFF\xFF\xFF\x10\x20\x60", 6)) + pngChunk("tRNS", QByteArray(1, '\0'))
                           + pngChunk("IDAT", qCompress(raw, 9).mid(4)) + pngChunk("IEND", {});
    raw.clear();
    const QString pdf = scratch.path() + QStringLiteral("/palette.pdf");
    QCOMPARE(AssemblePdf(buildRequest(pageFolder(QStringLiteral("palette"), {png}), 1, pdf)).pagesWritten, 1);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QString list = PdfCheck::run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    const QStringList image = list.split(QLatin1Char('\n')).value(2).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QCOMPARE(image.value(5), QStringLiteral("index"));
    QCOMPARE(image.value(7), QStringLiteral("1"));
    QVERIFY2(QFileInfo(pdf).size() < 1024 * 1024, qPrintable(QString::number(QFileInfo(pdf).size())));
    // The ground is clear and the stripes are drawn in the palette's blue.
    const QImage drawn = PdfCheck::renderWithPoppler(pdf, 1, QSize(1000, 1000), pdf + QStringLiteral(".drawn"));
    QCOMPARE(qAlpha(drawn.pixel(500, 0)), 0);
    QVERIFY(qAlpha(drawn.pixel(500, 2)) > 0 && qBlue(drawn.pixel(500, 2)) > qRed(drawn.pixel(500, 2)));
}

void TestPdfBuild::jpegOrientation_data()
{
    QTest::addColumn<int>("orientation");
    QTest::newRow("1 as stored") << 1;
    QTest::newRow("2 mirrored left to right") << 2;
    QTest::newRow("3 turned half round") << 3;
    QTest::newRow("4 mirrored top to bottom") << 4;
    QTest::newRow("5 mirrored along the diagonal") << 5;
    QTest::newRow("6 turned a quarter clockwise") << 6;
    QTest::newRow("7 mirrored along the other diagonal") << 7;
    QTest::newRow("8 turned a quarter anticlockwise") << 8;
}

// A JPEG whose Exif segment says how to turn it is upright in the PDF, as a browser shows it,
// on a page the size of the picture as shown, and its bytes are the image's stream as they are.
void TestPdfBuild::jpegOrientation()
{
    QFETCH(int, orientation);
    const QImage upright = uprightPicture(96, 64);
    const QByteArray jpeg = withSegmentsFirst(qtJpeg(storedFor(upright, orientation), false, 95), exifSegment(orientation));
    {
        // The fixture as a reader that applies EXIF orientations shows it.
        QBuffer buffer;
        buffer.setData(jpeg);
        QImageReader reader(&buffer);
        reader.setAutoTransform(true);
        const QImage shown = reader.read();
        QCOMPARE(shown.size(), upright.size());
        QVERIFY(compareDrawn(coarse(upright), coarse(shown), 32).isEmpty());
    }
    const QString pdf = scratch.path() + QStringLiteral("/oriented%1.pdf").arg(orientation);
    const QString folder = pageFolder(QStringLiteral("oriented%1").arg(orientation), {jpeg});
    QCOMPARE(AssemblePdf(buildRequest(folder, 1, pdf)).pagesWritten, 1);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    QCOMPARE(PdfCheck::pageSizes(pdf), (QList<QSizeF>{QSizeF(72, 48)}));
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, pdf + QStringLiteral(".images"));
    QCOMPARE(images.size(), 1);
    QCOMPARE(images[0].encoding, QStringLiteral("jpeg"));
    QCOMPARE(readAll(images[0].file), jpeg);
    for (const QString &reader : {QStringLiteral("poppler"), QStringLiteral("pdfium")}) {
        const QImage drawn = render(reader, pdf, upright.size());
        QVERIFY2(!drawn.isNull(), qPrintable(reader));
        const QString difference = compareDrawn(coarse(upright), coarse(drawn), 32);
        QVERIFY2(difference.isEmpty(), qPrintable(reader + QStringLiteral(": ") + difference));
    }
}

void TestPdfBuild::textOnTurnedPage_data()
{
    QTest::addColumn<int>("orientation");     // how the stored picture is turned from upright
    QTest::addColumn<QByteArray>("segments"); // put after the start of image marker
    QTest::addColumn<int>("dpi");             // the scan's resolution the file gives; 0: none
    const QByteArray xmp = jpegSegmentBytes(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/", 29) + "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>");
    QTest::newRow("3 turned half round") << 3 << exifSegment(3) << 0;
    QTest::newRow("6 turned a quarter clockwise") << 6 << exifSegment(6) << 0;
    QTest::newRow("7 mirrored along the other diagonal") << 7 << exifSegment(7) << 0;
    QTest::newRow("6, its Exif segment after an XMP one") << 6 << xmp + exifSegment(6) << 0;
    // Browsers do not read the thumbnail's directory: the picture is shown as stored.
    QTest::newRow("6 in the thumbnail's directory only") << 1 << exifSegment(6, true) << 0;
    QTest::newRow("6 turned, scanned at 300 dpi") << 6 << exifSegment(6) << 300;
}

// The text laid over a page whose JPEG is turned lies where its words are shown: the page and
// the recognition are turned by the same reading of the file, and the text follows the page's
// size.
void TestPdfBuild::textOnTurnedPage()
{
    QFETCH(int, orientation);
    QFETCH(QByteArray, segments);
    QFETCH(int, dpi);
    QImage upright(1000, 400, QImage::Format_RGB32);
    upright.fill(Qt::white);
    {
        QPainter p(&upright);
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(40);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(80, 300, QStringLiteral("lantern harbour"));
    }
    QImage stored = storedFor(upright, orientation);
    if (dpi > 0) {
        stored.setDotsPerMeterX(qRound(dpi / 0.0254));
        stored.setDotsPerMeterY(qRound(dpi / 0.0254));
    }
    const QByteArray jpeg = withSegmentsFirst(qtJpeg(stored, false, 95), segments);
    const QString name = QStringLiteral("turnedtext%1").arg(qHash(QTest::currentDataTag()));
    const QString pdf = scratch.path() + QLatin1Char('/') + name + QStringLiteral(".pdf");
    PdfBuildRequest request = buildRequest(pageFolder(name, {jpeg}), 1, pdf);
    request.ocrLanguage = QStringLiteral("eng");
    const PdfBuildResult result = AssemblePdf(request);
    QCOMPARE(result.imageOnly, QString());
    const double scale = 72.0 / (dpi > 0 ? dpi : 96);
    QCOMPARE(PdfCheck::pageSizes(pdf), (QList<QSizeF>{QSizeF(1000 * scale, 400 * scale)}));
    // The word's box in points, from the page's top left corner.
    const QString boxes = PdfCheck::run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    const QRegularExpressionMatch word = QRegularExpression(
        QStringLiteral("xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">lantern<")).match(boxes);
    QVERIFY2(word.hasMatch(), qPrintable(boxes));
    const QRectF box(QPointF(word.captured(1).toDouble(), word.captured(2).toDouble()),
                     QPointF(word.captured(3).toDouble(), word.captured(4).toDouble()));
    const QRectF shown(80 * scale, 265 * scale, 150 * scale, 45 * scale); // "lantern" as drawn, roughly
    QVERIFY2(box.intersects(shown) && box.width() > box.height(),
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
}

void TestPdfBuild::pageSizeFromResolution_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSizeF>("points");
    const QImage picture = canvasPage(600, 300, QColor(245, 240, 230), Qt::black);
    auto at = [&](double x, double y) {
        QImage image = picture;
        image.setDotsPerMeterX(qRound(x / 0.0254));
        image.setDotsPerMeterY(qRound(y / 0.0254));
        return image;
    };
    QTest::newRow("JFIF density of 300 dpi") << qtJpeg(at(300, 300)) << QSizeF(144, 72);
    QByteArray perCentimetre = qtJpeg(picture);
    const qsizetype jfif = jpegSegment(perCentimetre, 0xE0) + 4;
    perCentimetre[jfif + 7] = 2; // dots per centimetre
    putWord(perCentimetre, jfif + 8, 118);
    putWord(perCentimetre, jfif + 10, 118);
    QTest::newRow("JFIF density of 118 per centimetre") << perCentimetre << QSizeF(144, 72);
    // An Exif segment's resolution (600 dpi), the file without a JFIF segment.
    QByteArray tiff("MM\0\x2A\0\0\0\x08\0\x03", 10);
    tiff += QByteArray("\x01\x1A\0\x05\0\0\0\x01\0\0\0\x32", 12) + QByteArray("\x01\x1B\0\x05\0\0\0\x01\0\0\0\x32", 12);
    tiff += QByteArray("\x01\x28\0\x03\0\0\0\x01\0\x02\0\0", 12) + QByteArray(4, '\0');
    tiff += QByteArray("\0\0\x02\x58\0\0\0\x01", 8); // 600 / 1
    const QByteArray exif = jpegSegmentBytes(0xE1, QByteArray("Exif\0\0", 6) + tiff);
    QTest::newRow("Exif resolution of 600 dpi") << withSegmentsFirst(withoutSegments(qtJpeg(picture), 0xE0), exif) << QSizeF(72, 36);
    QTest::newRow("PNG pHYs of 300 dpi") << encoded(at(300, 300), "PNG") << QSizeF(144, 72);
    QTest::newRow("300 dpi across, 150 down") << qtJpeg(at(300, 150)) << QSizeF(144, 144);
    QTest::newRow("300 dpi across, 150 down, turned a quarter") << withSegmentsFirst(qtJpeg(at(300, 150)), exifSegment(6))
                                                                << QSizeF(144, 144);
    // Resolutions no scan has: a camera's or a screenshot's, or none at all.
    QTest::newRow("JFIF density of 72 dpi") << qtJpeg(at(72, 72)) << QSizeF(450, 225);
    QTest::newRow("PNG pHYs of 2000 dpi") << encoded(at(2000, 2000), "PNG") << QSizeF(450, 225);
    QTest::newRow("300 dpi across, 72 down") << qtJpeg(at(300, 72)) << QSizeF(450, 225);
}

// A scan's page is the size of the paper it was scanned from.
void TestPdfBuild::pageSizeFromResolution()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSizeF, points);
    const QString name = QStringLiteral("resolution%1").arg(qHash(QTest::currentDataTag()));
    const QString pdf = scratch.path() + QLatin1Char('/') + name + QStringLiteral(".pdf");
    QCOMPARE(AssemblePdf(buildRequest(pageFolder(name, {bytes}), 1, pdf)).pagesWritten, 1);
    QCOMPARE(PdfCheck::pageSizes(pdf), QList<QSizeF>{points});
}

void TestPdfBuild::jpegColourProfile_data()
{
    QTest::addColumn<bool>("gray");      // a gray JPEG rather than a colour one
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<int>("chunk");      // profile bytes per segment
    QTest::addColumn<QString>("leftOut"); // why the profile is left out; empty: kept
    const QByteArray srgb = QColorSpace(QColorSpace::SRgb).iccProfile();
    QByteArray cut = srgb;
    cut.chop(40);
    QByteArray outside = srgb;
    outside[128 + 4 + 4] = char(0x7F); // the first tag's data far past the profile's end
    QTest::newRow("in one segment") << false << srgb << 65000 << QString();
    QTest::newRow("in several segments") << false << srgb << 200 << QString();
    QTest::newRow("a colour profile on a gray JPEG") << true << srgb << 65000 << QStringLiteral("a profile for other colours");
    QTest::newRow("shorter than its header says") << false << cut << 65000 << QStringLiteral("declares a size it does not have");
    QTest::newRow("a tag outside it") << false << outside << 65000 << QStringLiteral("a tag's data lies outside it");
}

// A JPEG's ICC profile is its image's colour space in the PDF, the same bytes, written once
// for the pages that share it; one that does not fit the image or is damaged is left out, and
// the build says so.
void TestPdfBuild::jpegColourProfile()
{
    QFETCH(bool, gray);
    QFETCH(QByteArray, profile);
    QFETCH(int, chunk);
    QFETCH(QString, leftOut);
    const bool kept = leftOut.isEmpty();
    QVERIFY(profile.size() > 200);
    const QImage upright = uprightPicture(96, 64);
    const QByteArray plain = gray ? encoded(upright.convertToFormat(QImage::Format_Grayscale8), "JPG", 95) : qtJpeg(upright, false, 95);
    const QByteArray jpeg = withIccProfile(plain, profile, chunk);
    const QString pdf = scratch.path() + QStringLiteral("/profile%1.pdf").arg(qHash(QTest::currentDataTag()));
    const PdfBuildResult result = AssemblePdf(buildRequest(pageFolder(QStringLiteral("profile"), {jpeg, jpeg}), 2, pdf));
    QCOMPARE(result.pagesWritten, 2);
    QCOMPARE(result.notes.size(), kept ? 0 : 2);
    if (!kept)
        QVERIFY2(result.notes[0].startsWith(QStringLiteral("page 1: its colour profile is left out: ")) && result.notes[0].contains(leftOut),
                 qPrintable(result.notes[0]));
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    const QByteArray file = readAll(pdf);
    static const QRegularExpression iccBased(QStringLiteral("/ColorSpace\\[/ICCBased (\\d+) 0 R\\]"));
    QStringList objects;
    for (auto it = iccBased.globalMatch(QString::fromLatin1(file)); it.hasNext();)
        objects << it.next().captured(1);
    const QList<PdfCheck::Image> images = PdfCheck::images(pdf, pdf + QStringLiteral(".images"));
    QCOMPARE(images.size(), 2);
    QCOMPARE(readAll(images[0].file), jpeg);
    if (!kept) {
        QCOMPARE(objects, QStringList());
        QCOMPARE(images[0].color, gray ? QStringLiteral("gray") : QStringLiteral("rgb"));
        return;
    }
    QCOMPARE(objects.size(), 2);
    QCOMPARE(objects[0], objects[1]);
    QCOMPARE(PdfCheck::rawStream(pdf, objects[0].toInt()), profile);
    QCOMPARE(images[0].color, QStringLiteral("icc"));
    for (const QString &reader : {QStringLiteral("poppler"), QStringLiteral("pdfium")}) {
        const QString difference = compareDrawn(coarse(upright), coarse(render(reader, pdf, upright.size())), 32);
        QVERIFY2(difference.isEmpty(), qPrintable(reader + QStringLiteral(": ") + difference));
    }
}

void TestPdfBuild::colourAsBrowsersShow_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("says");        // in the image's dictionary
    QTest::addColumn<QStringList>("readers"); // that draw it as a browser shows it
    const QStringList both{QStringLiteral("poppler"), QStringLiteral("mupdf")};
    // Samples stored as R, G, B, components named so and no Adobe marker: libjpeg, browsers
    // and poppler take them as they are, MuPDF only when the image says so.
    QTest::newRow("JPEG of components named R, G, B")
        << withoutSegments(libjpegFile(96, 64, JCS_RGB, false, false), 0xEE) << QStringLiteral("/ColorTransform 0") << both;
    QTest::newRow("JPEG with Adobe's marker saying RGB") << libjpegFile(96, 64, JCS_RGB, false, false)
                                                         << QStringLiteral("/ColorTransform 0") << both;
    // A Display P3 profile: MuPDF as Debian builds it has no colour management.
    const QByteArray profiled = readAll(QStringLiteral(REAL_IMAGES_DIR "/png_brokeniccp.png"));
    QTest::newRow("PNG with an iCCP profile") << profiled << QStringLiteral("/ICCBased") << QStringList{QStringLiteral("poppler")};
    // Black and white in a palette, with that RGB profile: an indexed image on the profile.
    const qsizetype iccp = profiled.indexOf("iCCP") - 4;
    const QByteArray chunk = profiled.mid(iccp, 12 + qFromBigEndian<quint32>(profiled.constData() + iccp));
    QImage bilevel = canvasPage(120, 90, Qt::white, Qt::black).convertToFormat(QImage::Format_Mono);
    const QByteArray mono = encoded(bilevel, "PNG");
    QTest::newRow("black and white palette PNG with an RGB profile")
        << mono.left(33) + chunk + mono.mid(33) << QStringLiteral("/Indexed[/ICCBased") << QStringList{QStringLiteral("poppler")};
}

void TestPdfBuild::colourAsBrowsersShow()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, says);
    QFETCH(QStringList, readers);
    QImage reference;
    QVERIFY(reference.loadFromData(bytes));
    if (reference.colorSpace().isValid())
        reference = reference.convertToFormat(QImage::Format_RGB32).convertedToColorSpace(QColorSpace::SRgb);
    const QString name = QStringLiteral("colour%1").arg(qHash(QTest::currentDataTag()));
    const QString pdf = scratch.path() + QLatin1Char('/') + name + QStringLiteral(".pdf");
    QCOMPARE(AssemblePdf(buildRequest(pageFolder(name, {bytes}), 1, pdf)).pagesWritten, 1);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    QVERIFY(readAll(pdf).contains(says.toLatin1()));
    for (const QString &reader : readers) {
        QImage drawn;
        if (reader == QLatin1String("mupdf")) {
            const QString png = pdf + QStringLiteral(".mupdf.png");
            PdfCheck::run(QStringLiteral("mutool"), {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-w"),
                                                     QString::number(reference.width()), QStringLiteral("-o"), png, pdf});
            drawn = QImage(png);
        } else {
            drawn = render(reader, pdf, reference.size());
        }
        const double difference = meanDifference(reference, drawn);
        QVERIFY2(difference < 3, qPrintable(QStringLiteral("%1: %2 levels").arg(reader).arg(difference)));
    }
}

// A page file damaged after it was stored: the book is built without it, and the log line
// names it with the reason.
void TestPdfBuild::damagedPageIsListedWithItsReason()
{
    newBook(QStringLiteral("damaged.1"), 3);
    const QByteArray page = encoded(canvasPage(400, 500, Qt::white, Qt::darkGreen), "PNG");
    writePage(1, page);
    writePage(2, page.left(page.size() / 2)); // cut off mid-image
    writePage(3, page);
    const BookBuildOutcome outcome = build();
    QCOMPARE(outcome.kind, BookBuildOutcome::Written);
    QCOMPARE(outcome.result.missing, QStringLiteral(" 2"));
    QCOMPARE(MissingPagesText(outcome.result), QStringLiteral(" 2 (cannot be read: the PNG image is cut short)"));
    QCOMPARE(PageFileFault(PageFilePath(book->dirid, 2)), QStringLiteral("the PNG image is cut short"));
    QCOMPARE(PageFileFault(PageFilePath(book->dirid, 3)), QString());
    QCOMPARE(PdfCheck::pageSizes(book->outputfile).size(), 2);
    QCOMPARE(QDir(AppFolders().dataFolder).entryList({QStringLiteral("*.part*")}, QDir::Files), QStringList());
}

// Pages of every kind and size, one missing, prepared by the workers in whatever order they
// finish and written in page order, with the build run off the thread that owns the window.
void TestPdfBuild::mixedPagesInOrderOffTheCallingThread()
{
    QList<QByteArray> pages;
    QList<QSizeF> expected;
    QString missing;
    for (int i = 1; i <= 14; ++i) {
        const int w = 160 + 37 * i, h = 900 - 41 * i; // a size of its own for every page
        const QImage image = canvasPage(w, h, i % 2 ? QColor(240, 236, 220) : Qt::white, i % 3 ? Qt::black : Qt::darkRed, i % 4 != 0);
        if (i == 7) {
            pages << QByteArray();
            missing += QStringLiteral(" 7");
            continue;
        }
        pages << (i % 5 == 0 ? qtJpeg(image) : encoded(i == 3 ? image.scaled(w * 4, h * 4) : image, "PNG"));
        expected << (i == 3 ? QSizeF(w * 4 * 0.75, h * 4 * 0.75) : QSizeF(w * 0.75, h * 0.75));
    }
    const QString folder = pageFolder(QStringLiteral("mixed"), pages);
    const QString pdf = scratch.path() + QStringLiteral("/mixed.pdf");
    QList<int> progress;
    bool progressOnBuildThread = true;
    PdfBuildResult result;
    QString error;
    std::thread worker([&] {
        const auto buildThread = std::this_thread::get_id();
        try {
            result = AssemblePdf(buildRequest(folder, 14, pdf), [&](int page) {
                progress << page;
                progressOnBuildThread = progressOnBuildThread && std::this_thread::get_id() == buildThread;
            });
        } catch (const AppError &e) {
            error = e.message();
        }
    });
    worker.join();
    QCOMPARE(error, QString());
    QCOMPARE(result.missing, missing);
    QCOMPARE(result.pagesWritten, 13);
    QCOMPARE(progress.size(), 14);
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QVERIFY(progressOnBuildThread);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    QCOMPARE(PdfCheck::pageSizes(pdf), expected);
}

void TestPdfBuild::cancel_data()
{
    QTest::addColumn<int>("atPage"); // 0: cancelled before the build starts
    QTest::newRow("before the first page") << 0;
    QTest::newRow("at page 4 of 12") << 4;
}

// A cancelled build ends at the page where it sees the flag: the earlier PDF stays and the
// library's part file is gone.
void TestPdfBuild::cancel()
{
    QFETCH(int, atPage);
    QList<QByteArray> pages;
    for (int i = 0; i < 12; ++i)
        pages << encoded(canvasPage(600, 800, Qt::white, Qt::black), "PNG");
    const QString folder = pageFolder(QStringLiteral("cancel"), pages);
    const QString pdf = scratch.path() + QStringLiteral("/cancel.pdf");
    QCOMPARE(AssemblePdf(buildRequest(folder, 2, pdf)).pagesWritten, 2);
    const QByteArray earlier = readAll(pdf);

    std::atomic_bool cancel = atPage == 0;
    QList<int> progress;
    try {
        AssemblePdf(buildRequest(folder, 12, pdf), [&](int page) {
            progress << page;
            if (page == atPage)
                cancel = true;
        }, &cancel);
        QFAIL("not cancelled");
    } catch (const BuildCancelled &) {
    }
    QCOMPARE(progress.size(), atPage);
    QCOMPARE(readAll(pdf), earlier);
    QCOMPARE(partFiles(scratch.path()), QStringList());
}

void TestPdfBuild::stalePartFiles()
{
    const QString folder = pageFolder(QStringLiteral("stale"), {encoded(canvasPage(300, 400, Qt::white, Qt::blue), "PNG")});
    const QString pdf = scratch.path() + QStringLiteral("/stale/book.pdf");
    QProcess ended;
    ended.start(QStringLiteral("true"), {});
    QVERIFY(ended.waitForStarted());
    const qint64 deadPid = ended.processId();
    QVERIFY(ended.waitForFinished());
    QVERIFY(::kill(pid_t(deadPid), 0) == -1);
    // One pid of a process that has ended, one above the kernel's pid limit.
    const QStringList dead = {QStringLiteral("book.pdf.part4194305"), QStringLiteral("book.pdf.part%1").arg(deadPid)};
    const QStringList kept = {QStringLiteral("book.pdf.part1"),                           // init runs
                              QStringLiteral("book.pdf.part%1").arg(getppid()),           // so does whoever started us
                              QStringLiteral("book.pdf.partial"), QStringLiteral("other.pdf.part4194305")};
    for (const QString &name : dead + kept) {
        QFile f(folder + name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("left by a build");
    }
    QCOMPARE(AssemblePdf(buildRequest(folder, 1, pdf)).pagesWritten, 1);
    QStringList left = QDir(folder).entryList({QStringLiteral("*.part*")}, QDir::Files, QDir::Name);
    QStringList expected = kept;
    expected.sort();
    QCOMPARE(left, expected);
}

void TestPdfBuild::noUsablePage_data()
{
    QTest::addColumn<int>("totalPages");
    QTest::addColumn<QList<QByteArray>>("pages");
    QTest::addColumn<QString>("missing");
    QTest::newRow("no pages") << 0 << QList<QByteArray>() << QString();
    QTest::newRow("every page missing") << 3 << QList<QByteArray>() << QStringLiteral(" 1 2 3");
    QTest::newRow("only broken captures") << 2 << QList<QByteArray>{QByteArray(), QByteArray(150, 'x'), QByteArray(500, '\0')}
                                          << QStringLiteral(" 1 2");
}

// Nothing is written then, not even an empty PDF over the earlier one.
void TestPdfBuild::noUsablePage()
{
    QFETCH(int, totalPages);
    QFETCH(QList<QByteArray>, pages);
    QFETCH(QString, missing);
    const QString pdf = scratch.path() + QStringLiteral("/nothing.pdf");
    const QString earlierFolder = pageFolder(QStringLiteral("nothing-earlier"), {encoded(canvasPage(300, 400, Qt::white, Qt::blue), "PNG")});
    QCOMPARE(AssemblePdf(buildRequest(earlierFolder, 1, pdf)).pagesWritten, 1);
    const QByteArray earlier = readAll(pdf);

    const PdfBuildResult result = AssemblePdf(buildRequest(pageFolder(QStringLiteral("nothing"), pages), totalPages, pdf));
    QCOMPARE(result.pagesWritten, 0);
    QCOMPARE(result.missing, missing);
    QCOMPARE(readAll(pdf), earlier);
    QCOMPARE(partFiles(scratch.path()), QStringList());
}

void TestPdfBuild::tooManyPages()
{
    const QString pdf = scratch.path() + QStringLiteral("/huge.pdf");
    QVERIFY_THROWS_EXCEPTION(AppError, AssemblePdf(buildRequest(pageFolder(QStringLiteral("huge"), {}), MaxBookPages + 1, pdf)));
    QVERIFY(!QFile::exists(pdf));
    QCOMPARE(partFiles(scratch.path()), QStringList());
}

void TestPdfBuild::textThatCannotBeRecognised()
{
    // No model for the language: the pages go into the PDF as images only, and are named.
    const QByteArray png = encoded(canvasPage(400, 300, Qt::white, Qt::black), "PNG");
    const QString pdf = scratch.path() + QStringLiteral("/notext.pdf");
    PdfBuildRequest request = buildRequest(pageFolder(QStringLiteral("notext"), {png, QByteArray(), png}), 3, pdf);
    request.ocrLanguage = QStringLiteral("xyz");
    const PdfBuildResult result = AssemblePdf(request);
    QCOMPARE(result.pagesWritten, 2);
    QCOMPARE(result.missing, QStringLiteral(" 2"));
    QCOMPARE(result.imageOnly, QStringLiteral(" 1 3"));
    QVERIFY2(result.textFailures.value(0).contains(QStringLiteral("tesseract-ocr-xyz")), qPrintable(result.textFailures.value(0)));
    QVERIFY(PdfCheck::qpdfCheck(pdf));
    QCOMPARE(PdfCheck::pageSizes(pdf).size(), 2);
}

void TestPdfBuild::pdfbuildWithText()
{
    // A page of printed words.
    QImage page(1000, 400, QImage::Format_RGB32);
    page.fill(QColor(250, 247, 238));
    {
        QPainter p(&page);
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPixelSize(36);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(60, 150, QStringLiteral("searchable harbour lantern"));
    }
    const QString folder = pageFolder(QStringLiteral("pdfbuild.ocr"), {encoded(page, "PNG")});
    const QString pdf = scratch.path() + QStringLiteral("/text.pdf");
    const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/pdfbuild");
    QVERIFY(!PdfCheck::run(tool, {QStringLiteral("--ocr"), QStringLiteral("eng"), folder, QStringLiteral("1"), pdf}).isNull());
    const QString text = PdfCheck::run(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    QVERIFY2(text.contains(QStringLiteral("searchable harbour lantern")), qPrintable(text));
    // The result is kept beside the page and used again, not made again.
    const QFileInfo kept(folder + QStringLiteral("ocr/0001.ocr"));
    QVERIFY(kept.exists());
    const QDateTime written = kept.lastModified();
    QVERIFY(!PdfCheck::run(tool, {QStringLiteral("--ocr"), QStringLiteral("eng"), folder, QStringLiteral("1"), pdf}).isNull());
    QCOMPARE(QFileInfo(kept.filePath()).lastModified(), written);
    // A language without a model is refused at once.
    QVERIFY(PdfCheck::run(tool, {QStringLiteral("--ocr"), QStringLiteral("xyz"), folder, QStringLiteral("1"), pdf}).isNull());
}

void TestPdfBuild::farPageAndLongId()
{
    const QString id = QStringLiteral("long.") + QString(130, QLatin1Char('x'));
    newBook(id, 12345);
    writePage(12345, encoded(canvasPage(300, 400, Qt::white, Qt::blue), "PNG"));
    const BookBuildOutcome outcome = build();
    const QString pdf = AppFolders().dataFolder + id.left(100) + QStringLiteral(".pdf");
    QCOMPARE(book->outputfile, pdf);
    QCOMPARE(PdfCheck::pageSizes(pdf).size(), 1);
    QVERIFY(outcome.result.missing.startsWith(QStringLiteral(" 1 2 3 ")));
    QVERIFY(outcome.result.missing.endsWith(QStringLiteral(" 12343 12344")));
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
    // The library's reason follows.
    const QString noFolder = beginDocMessage(QStringLiteral("converter.dll"), "/nonexistent/folder/x.pdf");
    QVERIFY2(noFolder.startsWith(QStringLiteral("Error in BeginDoc! cannot create /nonexistent/folder/x.pdf")), qPrintable(noFolder));
    QVERIFY2(noFolder.endsWith(QStringLiteral("No such file or directory")), qPrintable(noFolder));
    QCOMPARE(beginDocMessage(QStringLiteral("converter.dll"), out), QString());
    QVERIFY(!QFile::exists(QString::fromLocal8Bit(out))); // never completed: nothing left
}

void TestPdfBuild::secondBuildIsRefused()
{
    newBook(QStringLiteral("twice.1"), 3);
    for (int i = 1; i <= 3; ++i)
        writePage(i, encoded(canvasPage(300, 400, Qt::white, Qt::black), "PNG"));
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
