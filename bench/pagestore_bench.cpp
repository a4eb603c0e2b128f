// Storing one page report: parse the JSON, decode the image's Base64, write the page file.
// Builds a report like the viewer's (an opaque RGBA canvas PNG of a scanned page, about
// 1700 x 2400, as a data URL of some 15 MB) and times the whole store and the decoder alone.
#include "base64.h"
#include "heapmeter.h"
#include "folders.h"
#include "vbooks.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>

namespace {

// A scanned text page: paper tone with grain, lines of dark "words".
QByteArray scanLikePng(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    QRandomGenerator rng(42);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const quint32 r = rng.generate();
            row[x] = qRgba(128 + int(r & 127), 124 + int((r >> 7) & 127), 110 + int((r >> 14) & 127), 255);
        }
    }
    QPainter p(&image);
    p.setPen(Qt::NoPen);
    for (int line = 0; line < 60; ++line) {
        int x = 120;
        while (x < width - 200) {
            const int word = 20 + int(rng.bounded(90));
            p.setBrush(QColor(30 + int(rng.bounded(30)), 30, 35));
            p.drawRect(x, 150 + line * 36, word, 18);
            x += word + 14;
        }
    }
    p.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    QGuiApplication app(argc, argv);
    SetupFolders();
    QTextStream out(stdout);

    const QByteArray png = scanLikePng(1700, 2400);
    QJsonObject object;
    object.insert(QStringLiteral("total"), 354);
    object.insert(QStringLiteral("currpage"), QStringLiteral("12"));
    object.insert(QStringLiteral("img"), QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64()));
    const QString report = QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
    const double reportMB = report.size() / 1e6;
    out << "report: " << report.size() << " characters, image " << png.size() << " bytes\n";

    TePubobj book;
    book.getID(QStringLiteral("http://h/cgi/pt?id=bench.1&seq=12"));
    book.setWorking(true);

    const int runs = 9;
    std::vector<double> storeMs, decodeMs;
    std::size_t peakExtra = 0;
    long long kept = 0;
    for (int i = 0; i < runs; ++i) {
        const std::size_t before = HeapInUse();
        ResetHeapPeak();
        QElapsedTimer t;
        t.start();
        book.SvePDFPage(report);
        storeMs.push_back(t.nsecsElapsed() / 1e6);
        peakExtra = std::max(peakExtra, HeapPeak() - before);
        kept = qint64(HeapInUse()) - qint64(before);
    }
    const QString image = object.value(QStringLiteral("img")).toString();
    const QStringView payload = QStringView(image).mid(22);
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        const QByteArray bytes = DecodeBase64Tolerant(payload);
        decodeMs.push_back(t.nsecsElapsed() / 1e6);
        if (bytes != png) {
            out << "decoded image differs: " << bytes.size() << " " << png.size() << " first diff at "
                << (std::mismatch(bytes.begin(), bytes.end(), png.begin()).first - bytes.begin()) << "\n";
            return 1;
        }
    }
    QFile stored(book.PageFolder() + QStringLiteral("0012.jpg"));
    if (!stored.open(QIODevice::ReadOnly) || stored.readAll() != png) {
        out << "stored page differs\n";
        return 1;
    }

    const double reportMs = median(storeMs);
    const double mbps = payload.size() / 1e6 / (median(decodeMs) / 1000.0);
    out << "store: median " << reportMs << " ms (min " << *std::min_element(storeMs.begin(), storeMs.end())
        << ", max " << *std::max_element(storeMs.begin(), storeMs.end()) << ") for " << reportMB << " M characters\n";
    out << "decode: median " << median(decodeMs) << " ms\n";
    out << "memory: peak extra heap " << peakExtra / 1e6 << " MB during a store ("
        << double(peakExtra) / report.size() << "x the report's characters, "
        << double(peakExtra) / (report.size() * 2.0) << "x its UTF-16 bytes), " << kept << " bytes kept after\n";
    // Scaled to a 15 MB report, so runs with another image size compare.
    out << "pagestore: report_ms=" << reportMs * 15.0 / reportMB << " base64_MBps=" << mbps << "\n";
    return 0;
}
