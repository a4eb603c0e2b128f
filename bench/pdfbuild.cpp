// pdfbuild PAGEFOLDER TOTALPAGES OUTPUT.pdf
// Builds a PDF from a folder of page files (0001.jpg, 0002.jpg, ...) exactly as the program
// does, with the same export component and engine library, and prints how long it took.
#include "heapmeter.h"
#include "pdfassembly.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTextStream>

#include "apperror.h"
#include "folders.h"

#include <sys/resource.h>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    if (argc != 4) {
        err << "usage: pdfbuild PAGEFOLDER TOTALPAGES OUTPUT.pdf\n";
        return 2;
    }
    QString folder = QString::fromLocal8Bit(argv[1]);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    const int total = QString::fromLocal8Bit(argv[2]).toInt();
    const QString output = QFileInfo(QString::fromLocal8Bit(argv[3])).absoluteFilePath();
    SetupProgramFolder();

    QElapsedTimer timer;
    timer.start();
    QString missing;
    try {
        PdfBuildRequest request;
        request.pageFolder = folder;
        request.totalPages = total;
        request.outputPath = output;
        const PdfBuildResult result = AssemblePdf(request);
        if (result.pagesWritten == 0) {
            err << "no page file found in " << folder << ": no pdf file written\n";
            return 1;
        }
        missing = result.missing;
    } catch (const AppError &e) {
        err << e.message() << "\n";
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const qint64 bytes = QFileInfo(output).size();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const int pages = total - int(missing.split(QLatin1Char(' '), Qt::SkipEmptyParts).size());
    out << "pages " << pages << ", seconds " << seconds << ", pages per second " << pages / seconds << ", bytes " << bytes
        << ", peak resident " << usage.ru_maxrss / 1024.0 << " MB, peak heap " << HeapPeak() / 1e6 << " MB\n";
    if (!missing.isEmpty())
        out << "missing pages " << missing << "\n";
    out << "pdfbuild: pages=" << pages << " seconds=" << seconds << " bytes=" << bytes << "\n";
    return 0;
}
