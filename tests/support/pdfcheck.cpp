#include "pdfcheck.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>

namespace PdfCheck {

QString run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

bool qpdfCheck(const QString &pdf)
{
    return run(QStringLiteral("qpdf"), {QStringLiteral("--check"), pdf}).contains(QLatin1String("No syntax or stream encoding errors"));
}

QList<QSizeF> pageSizes(const QString &pdf)
{
    const QString info = run(QStringLiteral("pdfinfo"), {pdf});
    const int pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info).captured(1).toInt();
    QList<QSizeF> sizes;
    if (pages == 0)
        return sizes;
    const QString detail = run(QStringLiteral("pdfinfo"), {QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                            QString::number(pages), pdf});
    const QRegularExpression size(QStringLiteral("Page\\s+\\d+ size:\\s+([\\d.]+) x ([\\d.]+) pts"));
    for (auto it = size.globalMatch(detail); it.hasNext();) {
        const auto m = it.next();
        sizes << QSizeF(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return sizes;
}

QList<Image> images(const QString &pdf, const QString &folder)
{
    QList<Image> result;
    const QStringList lines = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}).split(QLatin1Char('\n'));
    for (const QString &line : lines.mid(2)) {
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() < 9)
            continue;
        Image image;
        image.page = f[0].toInt();
        image.type = f[2];
        image.color = f[5];
        image.bpc = f[7].toInt();
        image.encoding = f[8];
        result << image;
    }
    QDir().mkpath(folder);
    // Images in their own coding where an image reader takes it (JPEG); fax-coded ones, which
    // pdfimages would write as bare fax data beside a parameter file, decoded to PNG.
    run(QStringLiteral("pdfimages"), {QStringLiteral("-all"), pdf, folder + QStringLiteral("/img")});
    QStringList files = QDir(folder).entryList({QStringLiteral("img-*")}, QDir::Files, QDir::Name);
    files.removeIf([](const QString &name) { return name.endsWith(QLatin1String(".params")); });
    bool fax = false;
    for (const Image &image : std::as_const(result))
        fax = fax || image.encoding == QLatin1String("ccitt");
    if (fax)
        run(QStringLiteral("pdfimages"), {QStringLiteral("-png"), pdf, folder + QStringLiteral("/png")});
    for (int i = 0; i < result.size() && i < files.size(); ++i) {
        result[i].file = folder + QLatin1Char('/') + files[i];
        if (result[i].encoding == QLatin1String("ccitt"))
            result[i].file = folder + QStringLiteral("/png-%1.png").arg(i, 3, 10, QLatin1Char('0'));
    }
    return result;
}

QImage renderWithPoppler(const QString &pdf, int page, QSize size, const QString &folder)
{
    QDir().mkpath(folder);
    const QString out = folder + QStringLiteral("/page%1").arg(page);
    const QString n = QString::number(page);
    QFile::remove(out + QStringLiteral(".png"));
    QProcess process;
    process.start(QStringLiteral("pdftocairo"), {QStringLiteral("-png"), QStringLiteral("-transp"), QStringLiteral("-singlefile"),
                                                 QStringLiteral("-f"), n, QStringLiteral("-l"), n, QStringLiteral("-scale-to-x"),
                                                 QString::number(size.width()), QStringLiteral("-scale-to-y"),
                                                 QString::number(size.height()), pdf, out});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return QImage(out + QStringLiteral(".png"));
}

QByteArray rawStream(const QString &pdf, int object)
{
    QProcess process;
    process.start(QStringLiteral("qpdf"), {QStringLiteral("--show-object=%1").arg(object), QStringLiteral("--raw-stream-data"), pdf});
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    return process.readAllStandardOutput();
}

} // namespace PdfCheck
