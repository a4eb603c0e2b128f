// ocr_bench [PAGES [KEEP.pdf]]
// Recognises generated book pages (1700 x 2400 pixels, DejaVu Serif 24 to 40 px on tinted
// paper) on one thread, puts the words into a PDF through the export component and reads
// them back with pdftotext: how long a page takes, how many drawn words come back with their
// text, how many on their boxes, what a picture page without text adds, and the heap used.
#include "apperror.h"
#include "folders.h"
#include "heapmeter.h"
#include "ocrrecognizer.h"
#include "ocrtextwords.h"
#include "pdfexport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QXmlStreamReader>

#include <sys/resource.h>

namespace {

struct Word
{
    QString text;
    QRectF box;
};

const QColor Paper(244, 236, 216);
const QStringList Vocabulary = QStringLiteral(
    "the of and to in that was he it with his as had for on at by her which not but from this be they all one "
    "were have there she when would an their said been more out into who no if so what them about than some could "
    "time very only over little great before upon after much should through down any other made first where well "
    "house river winter morning letter harbour mountain garden evening window country village morning history "
    "kingdom journey silence promise shadow thunder library manuscript chapter shepherd lantern merchant "
    "Elizabeth London Thursday September Captain Richardson Edinburgh Parliament")
                                      .split(QLatin1Char(' '), Qt::SkipEmptyParts);

double Seconds(const timeval &t)
{
    return double(t.tv_sec) + t.tv_usec / 1e6;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
}

// A page of justified-looking text lines, and where each word's ink went.
QImage TextPage(int pixelSize, quint32 seed, QList<Word> *words)
{
    QImage image(1700, 2400, QImage::Format_RGB888);
    image.fill(Paper);
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(pixelSize);
    const QFontMetrics metrics(font);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(QColor(20, 20, 20));
    QRandomGenerator random(seed);
    const int margin = 150;
    for (int baseline = margin + metrics.ascent(); baseline + metrics.descent() < image.height() - margin;
         baseline += metrics.lineSpacing() * 5 / 4) {
        int x = margin;
        while (true) {
            QString text = Vocabulary.at(random.bounded(int(Vocabulary.size())));
            if (random.bounded(12) == 0)
                text += random.bounded(2) ? QStringLiteral(",") : QStringLiteral(".");
            const int advance = metrics.horizontalAdvance(text);
            if (x + advance > image.width() - margin)
                break;
            painter.drawText(x, baseline, text);
            words->append({text, QRectF(metrics.tightBoundingRect(text).translated(x, baseline))});
            x += advance + metrics.horizontalAdvance(QLatin1Char(' '));
        }
    }
    return image;
}

// An engraving-like picture without any text: shaded shapes, hatching and grain.
QImage PicturePage(quint32 seed)
{
    QImage image(1700, 2400, QImage::Format_RGB888);
    image.fill(Paper);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRandomGenerator random(seed);
    QLinearGradient sky(0, 200, 0, 1400);
    sky.setColorAt(0, QColor(90, 110, 140));
    sky.setColorAt(1, QColor(220, 210, 190));
    painter.fillRect(QRect(150, 200, 1400, 1200), sky);
    for (int i = 0; i < 40; ++i) {
        painter.setBrush(QColor::fromHsv(random.bounded(360), 80 + random.bounded(120), 60 + random.bounded(150)));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(150 + random.bounded(1400), 300 + random.bounded(1900)), 30 + random.bounded(200),
                            20 + random.bounded(120));
    }
    painter.setPen(QPen(QColor(40, 40, 40), 2));
    for (int y = 1500; y < 2200; y += 9)
        painter.drawLine(150, y, 1550, y + random.bounded(-30, 30));
    // Short strokes in every direction, the kind of marks a recogniser may take for letters.
    for (int i = 0; i < 1500; ++i) {
        const QPointF from(150 + random.bounded(1400), 300 + random.bounded(1900));
        painter.setPen(QPen(QColor(30, 30, 30), 1 + random.bounded(4)));
        painter.drawLine(from, from + QPointF(random.bounded(-25, 25), random.bounded(-25, 25)));
    }
    // Foliage: dark blobs of a letter's size in rows, the texture most often read as words.
    for (int i = 0; i < 2500; ++i) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(20 + random.bounded(60), 30 + random.bounded(60), 20));
        const int y = 1000 + random.bounded(12) * 40 + random.bounded(8);
        painter.drawEllipse(QPointF(200 + random.bounded(1300), y), 3 + random.bounded(9), 5 + random.bounded(10));
    }
    for (int i = 0; i < 20000; ++i)
        image.setPixelColor(random.bounded(image.width()), random.bounded(image.height()), QColor(60, 50, 40));
    return image;
}

QList<QList<Word>> ReadBack(const QString &pdf, double scale)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf, QStringLiteral("-")});
    pdftotext.waitForFinished(-1);
    QList<QList<Word>> pages;
    QXmlStreamReader xml(pdftotext.readAllStandardOutput());
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("page"))
            pages.append(QList<Word>());
        if (!xml.isStartElement() || xml.name() != QLatin1String("word") || pages.isEmpty())
            continue;
        const auto a = xml.attributes();
        const QRectF box(QPointF(a.value("xMin").toDouble(), a.value("yMin").toDouble()) * scale,
                         QPointF(a.value("xMax").toDouble(), a.value("yMax").toDouble()) * scale);
        pages.last().append({xml.readElementText(), box});
    }
    return pages;
}

bool OnBox(const QRectF &found, const QRectF &truth)
{
    const double overlap = std::min(found.right(), truth.right()) - std::max(found.left(), truth.left());
    const double span = std::max(found.right(), truth.right()) - std::min(found.left(), truth.left());
    return found.contains(truth.center()) && overlap / span >= 0.8;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    LimitOcrThreads();
    QGuiApplication app(argc, argv);
    SetupProgramFolder();
    TCustomPDFExport::DLLName = QStringLiteral("converter.dll");
    QTextStream out(stdout);
    const int pageCount = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 3;
    const int sizes[] = {24, 32, 40, 28, 36};
    constexpr int Dpi = 200;

    QTemporaryDir scratch;
    QList<QList<Word>> drawn;
    QList<OcrPage> recognised;
    OcrRecognizer recognizer;
    double totalSeconds = 0, totalCpu = 0;
    const std::size_t heapBefore = HeapInUse();
    rusage start{};
    getrusage(RUSAGE_SELF, &start);
    const long rssBeforeKb = start.ru_maxrss;
    ResetHeapPeak();
    try {
        for (int i = 0; i < pageCount + 1; ++i) {
            const bool picture = i == pageCount;
            drawn.append(QList<Word>());
            const QImage image = picture ? PicturePage(7) : TextPage(sizes[i % 5], quint32(i + 1), &drawn.back());
            const QString file = scratch.filePath(QStringLiteral("%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0')));
            image.save(file, "PNG");
            QElapsedTimer timer;
            timer.start();
            const double cpuStart = CpuSeconds();
            recognised.append(recognizer.Recognize(file, QStringLiteral("eng")));
            const double seconds = timer.nsecsElapsed() / 1e9, cpu = CpuSeconds() - cpuStart;
            if (!picture) {
                totalSeconds += seconds;
                totalCpu += cpu;
            }
            out << (picture ? "picture page" : QStringLiteral("page %1 (%2 px)").arg(i + 1).arg(sizes[i % 5]))
                << QStringLiteral(": %1 s, cpu %2 s, %3 words drawn, %4 recognised\n")
                       .arg(seconds, 0, 'f', 2)
                       .arg(cpu, 0, 'f', 2)
                       .arg(drawn.back().size())
                       .arg(recognised.back().words.size());
            out.flush();
        }
    } catch (const AppError &e) {
        QTextStream(stderr) << e.message() << "\n";
        return 1;
    }
    const double peakMb = double(HeapPeak() - std::min(HeapPeak(), heapBefore)) / (1 << 20);

    // The PDF round trip: the words as poppler finds them in the text layer.
    const QString pdf = scratch.filePath(QStringLiteral("book.pdf"));
    try {
        TCustomPDFExport exporter;
        exporter.Filename = QFile::encodeName(pdf);
        exporter.BeginDoc();
        for (int i = 0; i < recognised.size(); ++i) {
            const QImage image = QImage(scratch.filePath(QStringLiteral("%1.jpg").arg(i + 1, 4, 10, QLatin1Char('0'))), "PNG")
                                     .convertToFormat(QImage::Format_RGB888);
            exporter.StartPage(image.width(), image.height(), Dpi, Dpi, 0);
            PDFE_Bitmap bitmap{};
            bitmap.width = image.width();
            bitmap.height = image.height();
            bitmap.bytesPerRow = int(image.bytesPerLine());
            bitmap.format = PDFE_RGB8;
            bitmap.pixels = image.constBits();
            exporter.DrawBitmap(0, 0, image.width(), image.height(), &bitmap);
            const OcrTextWords words(recognised[i], image.size());
            exporter.DrawText(words.data(), words.count());
            exporter.EndPage();
        }
        exporter.EndDoc();
    } catch (const AppError &e) {
        QTextStream(stderr) << e.message() << "\n";
        return 1;
    }
    const QList<QList<Word>> read = ReadBack(pdf, Dpi / 72.0);
    if (argc > 2)
        QFile::copy(pdf, QString::fromLocal8Bit(argv[2]));
    int total = 0, found = 0, onBox = 0;
    for (int i = 0; i < pageCount; ++i) {
        QList<Word> available = read.value(i);
        int pageFound = 0, pageOnBox = 0;
        for (const Word &word : drawn[i]) {
            // The nearest unused reader word with the same text.
            qsizetype best = -1;
            double bestDistance = 0;
            for (qsizetype j = 0; j < available.size(); ++j) {
                if (available[j].text != word.text)
                    continue;
                const QPointF d = available[j].box.center() - word.box.center();
                const double distance = d.manhattanLength();
                if (best < 0 || distance < bestDistance) {
                    best = j;
                    bestDistance = distance;
                }
            }
            if (best < 0)
                continue;
            ++pageFound;
            pageOnBox += OnBox(available[best].box, word.box);
            available.removeAt(best);
        }
        out << QStringLiteral("page %1: %2 of %3 words found, %4 on their boxes\n").arg(i + 1).arg(pageFound).arg(drawn[i].size()).arg(pageOnBox);
        total += drawn[i].size();
        found += pageFound;
        onBox += pageOnBox;
    }
    const int pictureWords = int(read.value(pageCount).size());
    const double secondsPerPage = totalSeconds / pageCount;
    out << QStringLiteral("picture page: %1 words in the text layer\n").arg(pictureWords);
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QString threads = QString::fromLatin1(status.readAll()).section(QStringLiteral("Threads:"), 1).section(QLatin1Char('\n'), 0, 0).trimmed();
    out << QStringLiteral("threads in the process after recognising: %1\n").arg(threads);
    out << QStringLiteral("cpu per wall second while recognising: %1 (1.0 = one thread)\n").arg(totalCpu / totalSeconds, 0, 'f', 2);
    out << QStringLiteral("cpu seconds per page: %1\n").arg(totalCpu / pageCount, 0, 'f', 2);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    out << QStringLiteral("resident set: %1 MB before recognising, %2 MB at most\n").arg(rssBeforeKb / 1024).arg(usage.ru_maxrss / 1024);
    out << QStringLiteral("words on their boxes: %1 %\n").arg(100.0 * onBox / std::max(1, total), 0, 'f', 1);
    out << QStringLiteral("ocr_bench: seconds_per_page=%1 words_found_pct=%2 peak_extra_mb=%3\n")
               .arg(secondsPerPage, 0, 'f', 2)
               .arg(100.0 * found / std::max(1, total), 0, 'f', 1)
               .arg(peakMb, 0, 'f', 0);
    return 0;
}
