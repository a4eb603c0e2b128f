// buildlag_bench [PAGES [LANGUAGE]]
// Builds a book of generated 1700 x 2400 colour pages (50 by default) through the program's own
// build path (the book record's BuildBook, as Rebuild and a run's closing step use it) while a
// 5 ms timer on the GUI thread records the longest gap between its ticks: how long the window
// would not answer during a build. With LANGUAGE the pages' text is recognised as well.
#include "folders.h"
#include "pagefile.h"
#include "vbooks.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

namespace {

// A page as the library scans them: tinted paper with a little grain and lines of dark "text".
QImage makePage(int seed)
{
    QImage image(1700, 2400, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed) * 7919u + 1);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grain = int(random.bounded(9)) - 4;
            line[x] = qRgb(238 + grain, 228 + grain, 205 + grain);
        }
    }
    QPainter p(&image);
    p.setFont(QFont(QStringLiteral("DejaVu Serif"), 22));
    p.setPen(QColor(40, 30, 20));
    for (int row = 0; row < 60; ++row)
        p.drawText(150, 200 + row * 34, QStringLiteral("Page %1, line %2: the quick brown fox jumps over the lazy dog").arg(seed).arg(row));
    return image;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    qputenv("XDG_DOCUMENTS_DIR", QFile::encodeName(home.path() + QStringLiteral("/Documents")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream out(stdout);
    const int pages = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 50;
    const QString language = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    SetupFolders();

    TePubobj book;
    book.getID(QStringLiteral("http://127.0.0.1/cgi/pt?id=buildlag.bench"));
    book.setWorking(true);
    book.OcrLanguage = language;
    // A few distinct pages, repeated: making 50 takes longer than building them.
    constexpr int Distinct = 6;
    for (int i = 1; i <= qMin(pages, Distinct); ++i)
        makePage(i).save(PageFilePath(book.dirid, i), "PNG");
    for (int i = Distinct + 1; i <= pages; ++i)
        QFile::copy(PageFilePath(book.dirid, (i - 1) % Distinct + 1), PageFilePath(book.dirid, i));

    QElapsedTimer sinceTick, total;
    qint64 maxStallMs = 0;
    QTimer ticker;
    ticker.setInterval(5);
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        maxStallMs = qMax(maxStallMs, sinceTick.elapsed());
        sinceTick.restart();
    });
    BookBuildOutcome outcome;
    total.start();
    sinceTick.start();
    ticker.start();
    book.BuildBook(pages, [&](const BookBuildOutcome &o) {
        outcome = o;
        app.quit();
    });
    app.exec();
    const double seconds = total.nsecsElapsed() / 1e9;
    if (outcome.kind != BookBuildOutcome::Written) {
        QTextStream(stderr) << "build failed: " << outcome.error << "\n";
        return 1;
    }
    // The timer's own interval is not a stall.
    out << "pages " << outcome.result.pagesWritten << ", seconds " << seconds << ", pages per second "
        << outcome.result.pagesWritten / seconds << ", longest gap between 5 ms ticks " << maxStallMs << " ms\n";
    out << "buildlag: max_stall_ms=" << maxStallMs << " pages=" << outcome.result.pagesWritten << "\n";
    return 0;
}
