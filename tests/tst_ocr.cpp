// Searchable pages: text recognised on page images, kept beside the page files, and put into
// the PDF as an invisible text layer that poppler, PDFium (QtPdf) and MuPDF read back.
#include "apperror.h"
#include "folders.h"
#include "ocrmodels.h"
#include "ocrrecognizer.h"
#include "ocrstore.h"
#include "ocrtextwords.h"
#include "pdfcheck.h"
#include "pagebitmap.h"
#include "pagefixtures.h"
#include "pdfexport.h"
#include "recognitionimage.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfDocument>
#include <QPdfSelection>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <atomic>
#include <climits>
#include <memory>
#include <thread>

namespace {

const QColor Paper(246, 239, 222);
constexpr int Dpi = 144; // page pixels are half a point each: the readers' coordinates are scaled

struct DrawnWord
{
    QString text;
    QRect box; // the ink of the word
};

// A page of DejaVu Serif text lines on tinted paper, and where each word's ink went.
QImage TextPage(const QStringList &lines, int pixelSize, QList<DrawnWord> *words)
{
    QImage image(1000, 700, QImage::Format_RGB888);
    image.fill(Paper);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    int baseline = 60 + metrics.ascent();
    for (const QString &line : lines) {
        int x = 60;
        for (const QString &word : line.split(QLatin1Char(' '))) {
            painter.drawText(x, baseline, word);
            words->append({word, metrics.tightBoundingRect(word).translated(x, baseline)});
            x += metrics.horizontalAdvance(word + QLatin1Char(' '));
        }
        baseline += metrics.lineSpacing() * 3 / 2;
    }
    return image;
}

// A page file as the program stores it: PNG bytes under a ".jpg" name.
void SavePage(const QImage &image, const QString &path)
{
    QVERIFY(image.save(path, "PNG"));
}

// The word's centre lies in the found box, and the two agree horizontally.
bool OnBox(const QRectF &found, const QRect &truth)
{
    const QRectF t(truth);
    const double overlap = std::min(found.right(), t.right()) - std::max(found.left(), t.left());
    const double span = std::max(found.right(), t.right()) - std::min(found.left(), t.left());
    return found.contains(t.center()) && overlap / span >= 0.8;
}

struct FoundWord
{
    QString text;
    QRectF box; // in page pixels
};

// A page's text as one reader extracts it: its words with their boxes, and its lines.
struct ReadPage
{
    QList<FoundWord> words;
    QStringList lines;
};

const QStringList Readers = {QStringLiteral("poppler"), QStringLiteral("pdfium"), QStringLiteral("mupdf")};
constexpr double PointToPixel = Dpi / 72.0;

QStringList Lines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QRegularExpression(QStringLiteral("[\r\n\f]+"))))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines;
}

ReadPage ReadWithPoppler(const QString &pdf, int page)
{
    const QStringList range = {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page)};
    ReadPage read;
    read.lines = Lines(PdfCheck::run(QStringLiteral("pdftotext"), range + QStringList{pdf, QStringLiteral("-")}));
    const QString html = PdfCheck::run(QStringLiteral("pdftotext"), range + QStringList{QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    QXmlStreamReader xml(html);
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement() || xml.name() != QLatin1String("word"))
            continue;
        const auto a = xml.attributes();
        const QRectF box(QPointF(a.value("xMin").toDouble(), a.value("yMin").toDouble()) * PointToPixel,
                         QPointF(a.value("xMax").toDouble(), a.value("yMax").toDouble()) * PointToPixel);
        read.words.append({xml.readElementText(), box});
    }
    return read;
}

ReadPage ReadWithMupdf(const QString &pdf, int page)
{
    ReadPage read;
    const QStringList draw = {QStringLiteral("draw"), QStringLiteral("-q"), QStringLiteral("-o"), QStringLiteral("-"), QStringLiteral("-F")};
    read.lines = Lines(PdfCheck::run(QStringLiteral("mutool"), draw + QStringList{QStringLiteral("txt"), pdf, QString::number(page)}));
    QXmlStreamReader xml(PdfCheck::run(QStringLiteral("mutool"), draw + QStringList{QStringLiteral("stext"), pdf, QString::number(page)}));
    FoundWord word;
    auto close = [&] {
        if (!word.text.isEmpty())
            read.words.append(word);
        word = {};
    };
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isEndElement() && xml.name() == QLatin1String("line"))
            close();
        if (!xml.isStartElement() || xml.name() != QLatin1String("char"))
            continue;
        const QString c = xml.attributes().value("c").toString();
        if (c.trimmed().isEmpty()) {
            close();
            continue;
        }
        const QStringList q = xml.attributes().value("quad").toString().split(QLatin1Char(' '));
        if (q.size() != 8)
            continue;
        const QRectF box(QPointF(q[0].toDouble(), q[1].toDouble()) * PointToPixel, QPointF(q[6].toDouble(), q[7].toDouble()) * PointToPixel);
        word.text += c;
        word.box = word.box.isNull() ? box : word.box.united(box);
    }
    return read;
}

ReadPage ReadWithPdfium(const QString &pdf, int page)
{
    QPdfDocument document;
    ReadPage read;
    if (document.load(pdf) != QPdfDocument::Error::None)
        return read;
    const QString text = document.getAllText(page - 1).text();
    read.lines = Lines(text);
    static const QRegularExpression token(QStringLiteral("\\S+"));
    for (auto it = token.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const QRectF box = document.getSelectionAtIndex(page - 1, int(m.capturedStart()), int(m.capturedLength())).boundingRectangle();
        read.words.append({m.captured(), QRectF(box.topLeft() * PointToPixel, box.size() * PointToPixel)});
    }
    return read;
}

ReadPage Read(const QString &reader, const QString &pdf, int page)
{
    if (reader == QLatin1String("poppler"))
        return ReadWithPoppler(pdf, page);
    if (reader == QLatin1String("mupdf"))
        return ReadWithMupdf(pdf, page);
    return ReadWithPdfium(pdf, page);
}

// A page for the PDF: its image and the words of its text layer.
struct PdfPage
{
    QImage image;
    std::vector<QByteArray> texts;
    std::vector<PDFE_TextWord> words;
};

void WritePdf(const QString &path, const std::vector<PdfPage> &pages)
{
    TCustomPDFExport pdf;
    pdf.Filename = QFile::encodeName(path);
    pdf.BeginDoc();
    for (const PdfPage &page : pages) {
        const QImage &image = page.image;
        pdf.StartPage(image.width(), image.height(), Dpi, Dpi, 0);
        PDFE_Bitmap bitmap{};
        bitmap.width = image.width();
        bitmap.height = image.height();
        bitmap.bytesPerRow = int(image.bytesPerLine());
        bitmap.format = PDFE_RGB8;
        bitmap.pixels = image.constBits();
        pdf.DrawBitmap(0, 0, image.width(), image.height(), &bitmap);
        if (!page.words.empty())
            pdf.DrawText(page.words.data(), int(page.words.size()));
        pdf.EndPage();
    }
    pdf.EndDoc();
}

PdfPage WithWords(const QImage &image, const OcrPage &ocr)
{
    PdfPage page{image, {}, {}};
    const OcrTextWords words(ocr, image.size());
    for (int i = 0; i < words.count(); ++i) {
        page.texts.emplace_back(words.data()[i].utf8);
        page.words.push_back(words.data()[i]);
        page.words.back().utf8 = page.texts.back().constData();
    }
    return page;
}

const QStringList FirstPage = {
    QStringLiteral("The river ran quietly past the old mill"),
    QStringLiteral("where the miller kept his books and ledgers,"),
    QStringLiteral("counting every sack of flour by candlelight."),
    QStringLiteral("Winter came early that year to the valley.")};

const QStringList SecondPage = {QStringLiteral("Chapter Seven"), QStringLiteral("A letter from the harbour"),
                                QStringLiteral("arrived on Tuesday morning.")};

// Words drawn straight into the text layer: copy must give back exactly these lines.
const QString UnicodeLine = QStringLiteral("Größe 文字認識 𝔘𝔫𝔦 café");
const QString SecondUnicodeLine = QStringLiteral("Ελληνικά naïve");

// A page of many lines of small print, which takes Tesseract far longer to read than a
// moment.
QImage BusyPage()
{
    QImage image(2480, 3508, QImage::Format_RGB888);
    image.fill(Paper);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(30);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QStringList lines = FirstPage + SecondPage;
    for (int row = 0; row < 75; ++row)
        painter.drawText(120, 160 + row * 44, lines[row % lines.size()] + QLatin1Char(' ') + lines[(row + 3) % lines.size()]);
    return image;
}

// Bytes in a heap block of their own size, zero included, so that reading past them is caught.
std::unique_ptr<char[]> ExactCopy(const QByteArray &bytes)
{
    auto copy = std::make_unique<char[]>(std::size_t(bytes.size()) + 1);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    copy[std::size_t(bytes.size())] = 0;
    return copy;
}

} // namespace

class TestOcr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void recognitionImageAsThePageShows_data();
    void recognitionImageAsThePageShows();
    void recognitionFindsDrawnWords_data();
    void recognitionFindsDrawnWords();
    void recognisedWordsReadBackOnTheirBoxes_data();
    void recognisedWordsReadBackOnTheirBoxes();
    void copyGivesBackTheText_data();
    void copyGivesBackTheText();
    void pageWithoutTextHasNoText_data();
    void pageWithoutTextHasNoText();
    void fontsOnlyWhereThereIsText();
    void wordsAsGiven_data();
    void wordsAsGiven();
    void largeColourPageRecognised();
    void stoppedRecognitionKeepsNothing_data();
    void stoppedRecognitionKeepsNothing();
    void recognisersOnWorkerThreads();
    void keptResultIsReused();
    void staleResults_data();
    void staleResults();
    void failures_data();
    void failures();
    void installedLanguages();

private:
    QTemporaryDir scratch;
    OcrRecognizer recognizer;
    QList<QList<DrawnWord>> drawn;
    QList<OcrPage> recognised;
    QString pdf;
};

void TestOcr::initTestCase()
{
    SetupFolders();
    LimitOcrThreads();
    TCustomPDFExport::DLLName = QStringLiteral("converter.dll");
    QVERIFY(InstalledOcrLanguages().contains(QStringLiteral("eng")));

    // Two recognised pages, one without text, one with words drawn straight into its layer.
    std::vector<PdfPage> pages;
    const std::pair<const QStringList *, int> texts[] = {{&FirstPage, 28}, {&SecondPage, 40}};
    for (const auto &[lines, size] : texts) {
        drawn.append(QList<DrawnWord>());
        const QImage image = TextPage(*lines, size, &drawn.back());
        const QString file = scratch.filePath(QStringLiteral("%1.jpg").arg(drawn.size(), 4, 10, QLatin1Char('0')));
        SavePage(image, file);
        recognised.append(recognizer.Recognize(file, QStringLiteral("eng")));
        pages.push_back(WithWords(image, recognised.back()));
    }
    QImage blank(1000, 700, QImage::Format_RGB888);
    blank.fill(Paper);
    pages.push_back({blank, {}, {}});

    PdfPage direct{blank, {}, {}};
    int y = 100;
    for (const QString &line : {UnicodeLine, SecondUnicodeLine}) {
        int x = 80;
        for (const QString &word : line.split(QLatin1Char(' '))) {
            direct.texts.push_back(word.toUtf8());
            x += 30;
            direct.words.push_back({x, y, 32 * int(word.toUcs4().size()), 50, nullptr});
            x += direct.words.back().w;
        }
        y += 90;
    }
    for (std::size_t i = 0; i < direct.words.size(); ++i)
        direct.words[i].utf8 = direct.texts[i].constData();
    pages.push_back(direct);

    pdf = scratch.filePath(QStringLiteral("book.pdf"));
    WritePdf(pdf, pages);
    QVERIFY(PdfCheck::qpdfCheck(pdf));
}

void TestOcr::recognitionFindsDrawnWords_data()
{
    QTest::addColumn<int>("page");
    QTest::newRow("28 px") << 0;
    QTest::newRow("40 px") << 1;
}

void TestOcr::recognitionFindsDrawnWords()
{
    QFETCH(int, page);
    const OcrPage &ocr = recognised[page];
    QCOMPARE(ocr.language, QStringLiteral("eng"));
    QCOMPARE(ocr.imageSize, QSize(1000, 700));
    int onBox = 0;
    QStringList missed;
    for (const DrawnWord &word : drawn[page]) {
        const bool found = std::any_of(ocr.words.begin(), ocr.words.end(), [&](const OcrWord &w) {
            return w.text == word.text && OnBox(w.box, word.box) && w.confidence >= OcrRecognizer::MinConfidence && w.confidence <= 100;
        });
        onBox += found;
        if (!found)
            missed << word.text;
    }
    QVERIFY2(onBox >= drawn[page].size() * 9 / 10, qPrintable(missed.join(QLatin1Char(' '))));
    QVERIFY(ocr.words.size() <= drawn[page].size() + 1);
}

void TestOcr::recognisedWordsReadBackOnTheirBoxes_data()
{
    QTest::addColumn<QString>("reader");
    for (const QString &reader : Readers)
        QTest::newRow(qPrintable(reader)) << reader;
}

void TestOcr::recognisedWordsReadBackOnTheirBoxes()
{
    QFETCH(QString, reader);
    for (int page = 0; page < recognised.size(); ++page) {
        const ReadPage read = Read(reader, pdf, page + 1);
        QCOMPARE(read.words.size(), recognised[page].words.size());
        for (const OcrWord &word : recognised[page].words) {
            const bool found = std::any_of(read.words.begin(), read.words.end(),
                                           [&](const FoundWord &f) { return f.text == word.text && OnBox(f.box, word.box); });
            QVERIFY2(found, qPrintable(word.text));
        }
        // Each drawn line reads back as one line.
        QCOMPARE(read.lines.size(), page == 0 ? FirstPage.size() : SecondPage.size());
    }
}

void TestOcr::copyGivesBackTheText_data()
{
    recognisedWordsReadBackOnTheirBoxes_data();
}

void TestOcr::copyGivesBackTheText()
{
    QFETCH(QString, reader);
    const ReadPage read = Read(reader, pdf, 4);
    QCOMPARE(read.lines, (QStringList{UnicodeLine, SecondUnicodeLine}));
    // The first word's box is where it was put: 110,100 160x50 page pixels ("Größe": 5 x 32).
    QVERIFY(!read.words.isEmpty());
    QCOMPARE(read.words.first().text, QStringLiteral("Größe"));
    const QRectF box = read.words.first().box;
    QVERIFY2(std::abs(box.left() - 110) < 2 && std::abs(box.right() - 270) < 2 && std::abs(box.top() - 100) < 2
                 && std::abs(box.bottom() - 150) < 2,
             qPrintable(QStringLiteral("%1,%2 %3x%4").arg(box.x()).arg(box.y()).arg(box.width()).arg(box.height())));
}

void TestOcr::pageWithoutTextHasNoText_data()
{
    recognisedWordsReadBackOnTheirBoxes_data();
}

void TestOcr::pageWithoutTextHasNoText()
{
    QFETCH(QString, reader);
    const ReadPage read = Read(reader, pdf, 3);
    QVERIFY(read.words.isEmpty());
    QVERIFY(read.lines.isEmpty());
}

void TestOcr::fontsOnlyWhereThereIsText()
{
    auto fonts = [&](int page) {
        const QString list = PdfCheck::run(QStringLiteral("pdffonts"), {QStringLiteral("-f"), QString::number(page),
                                                                         QStringLiteral("-l"), QString::number(page), pdf});
        return list.count(QStringLiteral("QuillmoorGlyphless"));
    };
    QCOMPARE(fonts(1), 1);
    QCOMPARE(fonts(3), 0);
    QCOMPARE(fonts(4), 1);
    QFile file(pdf);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.count("/FontFile2"), 1); // one font for the whole document
    QCOMPARE(bytes.count("BT 3 Tr"), 3);    // content streams are stored plain: no text object on the blank page
}

void TestOcr::wordsAsGiven_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QList<int>>("box"); // x, y, w, h
    QTest::addColumn<QStringList>("lines");
    const QList<int> box{100, 100, 200, 50};
    const QString bad(QChar(0xFFFD));
    const QString word = QStringLiteral("word"), after = QStringLiteral("after");
    QTest::newRow("four-byte character") << QByteArray("\xF0\x9D\x94\x98") << box << QStringList{QStringLiteral("𝔘"), after};
    QTest::newRow("lead byte before a letter") << QByteArray("\xC3" "A") << box << QStringList{bad + QStringLiteral("A"), after};
    QTest::newRow("lead byte at the end") << QByteArray("ok\xE2") << box << QStringList{QStringLiteral("ok") + bad, after};
    QTest::newRow("sequence cut short") << QByteArray("\xF0\x9D\x94" "x") << box << QStringList{bad + bad + bad + QStringLiteral("x"), after};
    QTest::newRow("continuation alone") << QByteArray("a\x80" "b") << box << QStringList{QStringLiteral("a") + bad + QStringLiteral("b"), after};
    QTest::newRow("overlong") << QByteArray("\xC0\xAF" "x") << box << QStringList{bad + bad + QStringLiteral("x"), after};
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << box << QStringList{bad + bad + bad, after};
    QTest::newRow("past U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << box << QStringList{bad + bad + bad + bad, after};
    QTest::newRow("box at the largest y") << word.toUtf8() << QList<int>{100, INT_MAX, 200, 1} << QStringList{after};
    QTest::newRow("box at the largest x") << word.toUtf8() << QList<int>{INT_MAX, 100, 1, 50} << QStringList{after};
    QTest::newRow("box from the smallest x") << word.toUtf8() << QList<int>{INT_MIN, 100, INT_MAX, 50} << QStringList{after};
    QTest::newRow("box above the page") << word.toUtf8() << QList<int>{100, -100, 200, 50} << QStringList{after};
    QTest::newRow("box wider than any page") << word.toUtf8() << QList<int>{100, 100, INT_MAX, 50} << QStringList{word, after};
    QTest::newRow("box across the left edge") << word.toUtf8() << QList<int>{-50, 100, 250, 50} << QStringList{word, after};
}

void TestOcr::wordsAsGiven()
{
    // Any bytes and any box: the PDF is sound and reads back with what could be placed.
    QFETCH(QByteArray, text);
    QFETCH(QList<int>, box);
    QFETCH(QStringList, lines);
    const std::unique_ptr<char[]> bytes = ExactCopy(text), following = ExactCopy("after");
    PdfPage page{QImage(1000, 700, QImage::Format_RGB888), {}, {}};
    page.image.fill(Paper);
    page.words.push_back({box[0], box[1], box[2], box[3], bytes.get()});
    page.words.push_back({100, 500, 200, 50, following.get()});
    const QString file = scratch.filePath(QStringLiteral("words.pdf"));
    WritePdf(file, {page});
    QVERIFY(PdfCheck::qpdfCheck(file));
    QCOMPARE(Read(QStringLiteral("poppler"), file, 1).lines, lines);
}

void TestOcr::largeColourPageRecognised()
{
    // 36 megapixels of colour: more than Qt's image reader takes by default, less than a
    // page can be.
    QImage image(6000, 6000, QImage::Format_RGB32);
    image.fill(Paper);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(90);
    {
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor(40, 30, 90));
        painter.drawText(400, 600, QStringLiteral("Harbour letters"));
        painter.drawText(400, 760, QStringLiteral("arrived on Tuesday"));
    }
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("0001.jpg"));
    SavePage(image, file);
    OcrRecognizer own;
    OcrPage page;
    try {
        page = LoadOrRecognize(file, QStringLiteral("eng"), own);
    } catch (const AppError &e) {
        QFAIL(qPrintable(e.message()));
    }
    QCOMPARE(page.imageSize, QSize(6000, 6000));
    QStringList texts;
    for (const OcrWord &word : page.words)
        texts << word.text;
    QCOMPARE(texts.join(QLatin1Char(' ')), QStringLiteral("Harbour letters arrived on Tuesday"));
    QVERIFY(LoadOcrResult(file, QStringLiteral("eng")).has_value());
}

void TestOcr::stoppedRecognitionKeepsNothing_data()
{
    QTest::addColumn<bool>("olderResult");
    QTest::newRow("no result yet") << false;
    QTest::newRow("result of an earlier page file") << true;
}

void TestOcr::stoppedRecognitionKeepsNothing()
{
    // Stopped soon after it began, a recognition of a page that takes many seconds ends with
    // OcrStopped, counts no page and writes no result: one kept earlier stays as it was.
    QFETCH(bool, olderResult);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("0003.jpg"));
    QByteArray older;
    if (olderResult) {
        QVERIFY(QFile::copy(scratch.filePath(QStringLiteral("0001.jpg")), file));
        SaveOcrResult(file, recognised[0]);
        QFile kept(OcrResultPath(file));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        older = kept.readAll();
        QVERIFY(QFile::remove(file));
    }
    SavePage(BusyPage(), file);

    OcrRecognizer own;
    std::atomic_bool stop = false;
    bool stopped = false;
    QString error;
    std::thread worker([&] {
        try {
            LoadOrRecognize(file, QStringLiteral("eng"), own, &stop);
        } catch (const OcrStopped &) {
            stopped = true;
        } catch (const AppError &e) {
            error = e.message();
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(1500)); // into the recognition
    stop = true;
    worker.join();
    QCOMPARE(error, QString());
    QVERIFY(stopped);
    QCOMPARE(own.pagesRecognized(), 0);
    QFile result(OcrResultPath(file));
    QCOMPARE(result.exists(), olderResult);
    if (olderResult) {
        QVERIFY(result.open(QIODevice::ReadOnly));
        QCOMPARE(result.readAll(), older);
    }
    QVERIFY(!LoadOcrResult(file, QStringLiteral("eng")).has_value());
}

void TestOcr::recognisersOnWorkerThreads()
{
    // One recogniser per thread, two pages at once: each thread gets what the main one got.
    const QString files[] = {scratch.filePath(QStringLiteral("0001.jpg")), scratch.filePath(QStringLiteral("0002.jpg"))};
    OcrPage results[2];
    QString errors[2];
    std::vector<std::thread> threads;
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, i] {
            try {
                OcrRecognizer own;
                results[i] = own.Recognize(files[i], QStringLiteral("eng"));
            } catch (const AppError &e) {
                errors[i] = e.message();
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(errors[i], QString());
        QCOMPARE(results[i], recognised[i]);
    }
}

void TestOcr::keptResultIsReused()
{
    const QString file = scratch.filePath(QStringLiteral("0001.jpg"));
    OcrRecognizer own;
    const OcrPage first = LoadOrRecognize(file, QStringLiteral("eng"), own);
    QCOMPARE(own.pagesRecognized(), 1);
    QVERIFY(QFile::exists(scratch.filePath(QStringLiteral("ocr/0001.ocr"))));
    const OcrPage second = LoadOrRecognize(file, QStringLiteral("eng"), own);
    QCOMPARE(own.pagesRecognized(), 1);
    QCOMPARE(second, first);
    QCOMPARE(first.words.size(), recognised[0].words.size());
}

void TestOcr::staleResults_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QByteArray>("stored"); // for "rewrite": members that replace the kept result's
    QTest::newRow("unchanged") << QString() << QStringLiteral("eng") << true << QByteArray();
    QTest::newRow("other language") << QString() << QStringLiteral("deu") << false << QByteArray();
    QTest::newRow("page replaced") << QStringLiteral("replace") << QStringLiteral("eng") << false << QByteArray();
    QTest::newRow("same size and time, other bytes") << QStringLiteral("bytes") << QStringLiteral("eng") << false << QByteArray();
    QTest::newRow("only touched") << QStringLiteral("touch") << QStringLiteral("eng") << false << QByteArray();
    QTest::newRow("result damaged") << QStringLiteral("damage") << QStringLiteral("eng") << false << QByteArray();
    const QString rewrite = QStringLiteral("rewrite");
    const QString eng = QStringLiteral("eng");
    QTest::newRow("rewritten, still sound") << rewrite << eng << true
                                            << QByteArray(R"({"words":[[10,20,30,40,91.5,"Größe"],[50,20,60,40,88,"harbour"]]})");
    QTest::newRow("word at the largest x") << rewrite << eng << false << QByteArray(R"({"words":[[2147483647,0,1,1,50,"a"]]})");
    QTest::newRow("word wider than int") << rewrite << eng << false << QByteArray(R"({"words":[[10,0,2147483647,1,50,"a"]]})");
    QTest::newRow("word past int") << rewrite << eng << false << QByteArray(R"({"words":[[1e12,0,1,1,50,"a"]]})");
    QTest::newRow("word before the image") << rewrite << eng << false << QByteArray(R"({"words":[[-5,20,30,40,50,"a"]]})");
    QTest::newRow("word beyond the image") << rewrite << eng << false << QByteArray(R"({"words":[[990,20,30,40,50,"a"]]})");
    QTest::newRow("word of no width") << rewrite << eng << false << QByteArray(R"({"words":[[10,20,0,40,50,"a"]]})");
    QTest::newRow("fractional box") << rewrite << eng << false << QByteArray(R"({"words":[[10.5,20,30,40,50,"a"]]})");
    QTest::newRow("box given as text") << rewrite << eng << false << QByteArray(R"({"words":[["10",20,30,40,50,"a"]]})");
    QTest::newRow("image of no size") << rewrite << eng << false << QByteArray(R"({"image":[0,700]})");
    QTest::newRow("image larger than a page") << rewrite << eng << false
                                              << QByteArray(R"({"image":[2147483647,2147483647],"words":[[2147483000,0,600,1,50,"a"]]})");
}

void TestOcr::staleResults()
{
    QFETCH(QString, change);
    QFETCH(QString, language);
    QFETCH(bool, kept);
    QFETCH(QByteArray, stored);
    QTemporaryDir folder;
    const QString file = folder.filePath(QStringLiteral("0007.jpg"));
    QVERIFY(QFile::copy(scratch.filePath(QStringLiteral("0002.jpg")), file));
    OcrPage page;
    page.language = QStringLiteral("eng");
    page.imageSize = QSize(1000, 700);
    page.words = {{QStringLiteral("Größe"), QRect(10, 20, 30, 40), 91.5f}, {QStringLiteral("harbour"), QRect(50, 20, 60, 40), 88}};
    SaveOcrResult(file, page);

    QFile f(file);
    if (change == QLatin1String("replace")) {
        QVERIFY(QFile::remove(file));
        QVERIFY(QFile::copy(scratch.filePath(QStringLiteral("0001.jpg")), file));
    } else if (change == QLatin1String("bytes")) {
        const QDateTime time = QFileInfo(file).lastModified();
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        bytes[bytes.size() - 20] = char(bytes[bytes.size() - 20] ^ 0x55);
        f.seek(0);
        f.write(bytes);
        f.close();
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(time, QFileDevice::FileModificationTime));
        f.close();
    } else if (change == QLatin1String("touch")) {
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        f.close();
    } else if (change == QLatin1String("damage")) {
        QFile result(OcrResultPath(file));
        QVERIFY(result.open(QIODevice::WriteOnly));
        result.write("{\"format\":1,\"language\":\"eng\",\"wor");
    } else if (change == QLatin1String("rewrite")) {
        QFile result(OcrResultPath(file));
        QVERIFY(result.open(QIODevice::ReadWrite));
        QJsonObject root = QJsonDocument::fromJson(result.readAll()).object();
        const QJsonObject replaced = QJsonDocument::fromJson(stored).object();
        QVERIFY(!replaced.isEmpty());
        for (auto it = replaced.begin(); it != replaced.end(); ++it)
            root.insert(it.key(), it.value());
        QVERIFY(result.resize(0));
        result.write(QJsonDocument(root).toJson(QJsonDocument::Compact));
    }
    const std::optional<OcrPage> loaded = LoadOcrResult(file, language);
    QCOMPARE(loaded.has_value(), kept);
    if (kept)
        QCOMPARE(*loaded, page);
    if (!kept && (change == QLatin1String("replace") || change == QLatin1String("damage") || change == QLatin1String("rewrite"))) {
        // Recognised again, and kept again.
        OcrRecognizer own;
        const OcrPage again = LoadOrRecognize(file, QStringLiteral("eng"), own);
        QCOMPARE(own.pagesRecognized(), 1);
        QCOMPARE(again, recognised[change == QLatin1String("replace") ? 0 : 1]);
        QVERIFY(LoadOcrResult(file, QStringLiteral("eng")).has_value());
    }
}

void TestOcr::failures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("message");
    QTest::newRow("no model") << QStringLiteral("0001.jpg") << QStringLiteral("xyz") << QStringLiteral("tesseract-ocr-xyz");
    QTest::newRow("one of two models missing") << QStringLiteral("0001.jpg") << QStringLiteral("eng+xyz") << QStringLiteral("\"xyz\"");
    QTest::newRow("not an image") << QStringLiteral("notes.jpg") << QStringLiteral("eng") << QStringLiteral("Cannot read the page image");
    QTest::newRow("no file") << QStringLiteral("0099.jpg") << QStringLiteral("eng") << QStringLiteral("0099.jpg");
}

void TestOcr::failures()
{
    QFETCH(QString, file);
    QFETCH(QString, language);
    QFETCH(QString, message);
    QFile notes(scratch.filePath(QStringLiteral("notes.jpg")));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write(QByteArray(4000, 'x'));
    notes.close();
    const QString path = scratch.filePath(file);
    QFile::remove(OcrResultPath(path));
    OcrRecognizer own;
    try {
        LoadOrRecognize(path, language, own);
        QFAIL("no error");
    } catch (const AppError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QVERIFY(!QFile::exists(OcrResultPath(path)));
    QCOMPARE(own.pagesRecognized(), 0);
}

void TestOcr::recognitionImageAsThePageShows_data()
{
    using namespace PageFixtures;
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("size");       // of the picture recognised
    QTest::addColumn<bool>("darkTopLeft"); // as the page shows it, upright
    QImage upright(320, 200, QImage::Format_RGB32);
    upright.fill(Qt::white);
    QPainter(&upright).fillRect(0, 0, 160, 100, Qt::black);
    // Stored turned a quarter anticlockwise, so that orientation 6 shows it upright.
    const QByteArray turned = qtJpeg(upright.transformed(QTransform().rotate(-90)));
    const QByteArray xmp = jpegSegmentBytes(0xE1, QByteArray("http://ns.adobe.com/xap/1.0/", 29) + "<x:xmpmeta/>");
    QTest::newRow("turned by its Exif orientation") << withSegmentsFirst(turned, exifSegment(6)) << QSize(320, 200) << true;
    QTest::newRow("its Exif segment after an XMP one") << withSegmentsFirst(turned, xmp + exifSegment(6)) << QSize(320, 200) << true;
    // Browsers read no orientation from the thumbnail's directory; Qt's reader does.
    QTest::newRow("orientation in the thumbnail's directory") << withSegmentsFirst(qtJpeg(upright), exifSegment(6, true))
                                                              << QSize(320, 200) << true;
    QTest::newRow("over the page limit: halved") << blankGrayJpeg(10240, 10240) << QSize(5120, 5120) << false;
}

// Recognition reads the picture the page shows, turned by the same reading of the file.
void TestOcr::recognitionImageAsThePageShows()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, size);
    QFETCH(bool, darkTopLeft);
    const QString file = scratch.filePath(QStringLiteral("shown.jpg"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(bytes);
    out.close();
    QString reason;
    const QImage image = RecognitionImage(file, &reason);
    QVERIFY2(!image.isNull(), qPrintable(reason));
    QCOMPARE(image.size(), size);
    QVERIFY(qint64(image.width()) * image.height() <= MaxPagePixels);
    QCOMPARE(qGray(image.pixel(size.width() / 4, size.height() / 4)) < 128, darkTopLeft);
    QVERIFY(qGray(image.pixel(size.width() * 3 / 4, size.height() * 3 / 4)) > 128);
}

void TestOcr::installedLanguages()
{
    QCOMPARE(OcrModelPackage(QStringLiteral("chi_sim")), QStringLiteral("tesseract-ocr-chi-sim"));
    QVERIFY(!InstalledOcrLanguages().contains(QStringLiteral("osd")));
    QTemporaryDir models;
    QVERIFY(QDir(models.path()).mkdir(QStringLiteral("tessdata")));
    for (const char *name : {"tessdata/fra.traineddata", "tessdata/osd.traineddata", "tessdata/notes.txt"}) {
        QFile f(models.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QByteArray before = qgetenv("TESSDATA_PREFIX");
    for (const QString &prefix : {models.path(), models.filePath(QStringLiteral("tessdata"))}) {
        qputenv("TESSDATA_PREFIX", prefix.toUtf8());
        QCOMPARE(InstalledOcrLanguages(), QStringList{QStringLiteral("fra")});
        QVERIFY(IsOcrLanguageInstalled(QStringLiteral("fra")));
        QVERIFY(!IsOcrLanguageInstalled(QStringLiteral("eng")));
    }
    if (before.isNull())
        qunsetenv("TESSDATA_PREFIX");
    else
        qputenv("TESSDATA_PREFIX", before);
}

QM_TEST_MAIN(TestOcr)
#include "tst_ocr.moc"
