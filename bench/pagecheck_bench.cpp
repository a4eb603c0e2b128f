// pagecheck_bench [--runs N] FILE...
// Reads each page file as the check before a page is stored reads it (whole: a JPEG decoded,
// a PNG inflated) and as the cheap stored-page check does (headers), as often as asked, and
// prints what each reading found and its median time. The last line sums them up.
#include "pageimage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <vector>

namespace {

double medianMs(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return times.empty() ? 0 : times[times.size() / 2];
}

QString describe(const PageImageInfo &info)
{
    if (!info.usable())
        return QStringLiteral("refused: ") + info.reason;
    QString text = QStringLiteral("%1 %2 x %3").arg(info.kind == PageImageInfo::Kind::Png ? "PNG" : "JPEG").arg(info.width).arg(info.height);
    if (info.orientation != 1)
        text += QStringLiteral(", orientation %1").arg(info.orientation);
    if (info.dotsPerInchX > 0)
        text += QStringLiteral(", %1 x %2 dpi").arg(info.dotsPerInchX).arg(info.dotsPerInchY);
    if (!info.note.isEmpty())
        text += QStringLiteral(", ") + info.note;
    return text;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    QStringList files = app.arguments().mid(1);
    int runs = 5;
    if (files.size() >= 2 && files.first() == QLatin1String("--runs")) {
        runs = std::max(1, files.at(1).toInt());
        files = files.mid(2);
    }
    if (files.isEmpty()) {
        err << "usage: pagecheck_bench [--runs N] FILE...\n";
        return 2;
    }
    double wholeTotal = 0, headersTotal = 0;
    int accepted = 0;
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            err << path << ": " << file.errorString() << "\n";
            return 1;
        }
        const QByteArray bytes = file.readAll();
        std::vector<double> whole, headers;
        PageImageInfo info, quick;
        for (int i = 0; i < runs; ++i) {
            QElapsedTimer timer;
            timer.start();
            info = InspectPageImage(bytes, PageReading::Whole);
            whole.push_back(timer.nsecsElapsed() / 1e6);
            timer.restart();
            quick = InspectPageImage(bytes, PageReading::Headers);
            headers.push_back(timer.nsecsElapsed() / 1e6);
        }
        wholeTotal += medianMs(whole);
        headersTotal += medianMs(headers);
        accepted += info.usable();
        out << path << ": " << describe(info) << "; whole " << medianMs(whole) << " ms, headers " << medianMs(headers) << " ms";
        if (quick.usable() != info.usable())
            out << " (headers: " << describe(quick) << ")";
        out << "\n";
    }
    out << "pagecheck_bench: files=" << files.size() << " accepted=" << accepted << " whole_ms=" << wholeTotal
        << " headers_ms=" << headersTotal << "\n";
    return 0;
}
