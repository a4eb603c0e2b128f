// pdfbuild [--ocr LANG] PAGEFOLDER TOTALPAGES OUTPUT.pdf
// Builds a PDF from a folder of page files (0001.jpg, 0002.jpg, ...) exactly as the program
// does, with the same build, export component and engine library, and prints how long it
// took. With --ocr the pages' text is recognised (or taken from the results kept in
// PAGEFOLDER/ocr/, which it fills) and laid over the pages. Exits non-zero with the reason
// when the build fails or finds no page.
#include "heapmeter.h"
#include "pdfassembly.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

#include "apperror.h"
#include "folders.h"
#include "ocrmodels.h"
#include "ocrrecognizer.h"

#include <sys/resource.h>

int main(int argc, char *argv[])
{
    // No screen: pages are reckoned at 96 pixels per inch, the program's usual figure.
    LimitOcrThreads();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    QStringList arguments = app.arguments().mid(1);
    QString language;
    if (arguments.size() >= 2 && arguments.first() == QLatin1String("--ocr")) {
        language = arguments.at(1);
        arguments = arguments.mid(2);
    }
    if (arguments.size() != 3) {
        err << "usage: pdfbuild [--ocr LANG] PAGEFOLDER TOTALPAGES OUTPUT.pdf\n";
        return 2;
    }
    if (!language.isEmpty() && !IsOcrLanguageInstalled(language)) {
        err << "pdfbuild: no text recognition model for \"" << language << "\" is installed (Debian package "
            << OcrModelPackage(language) << ")\n";
        return 2;
    }
    QString folder = arguments.at(0);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    bool number = false;
    const int total = arguments.at(1).toInt(&number);
    if (!number || total < 0) {
        err << "pdfbuild: TOTALPAGES must be a number of pages\n";
        return 2;
    }
    const QString output = QFileInfo(arguments.at(2)).absoluteFilePath();
    SetupProgramFolder();

    QElapsedTimer timer;
    timer.start();
    PdfBuildResult result;
    try {
        PdfBuildRequest request;
        request.pageFolder = folder;
        request.totalPages = total;
        request.outputPath = output;
        request.ocrLanguage = language;
        result = AssemblePdf(request);
    } catch (const AppError &e) {
        err << "pdfbuild: " << e.message() << "\n";
        return 1;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (result.pagesWritten == 0) {
        err << "pdfbuild: no usable page file in " << folder << " (pages 1 to " << total << "); no PDF was written\n";
        return 1;
    }
    const qint64 bytes = QFileInfo(output).size();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const int pages = result.pagesWritten;
    out << "pages " << pages << ", seconds " << seconds << ", pages per second " << pages / seconds << ", bytes " << bytes
        << ", peak resident " << usage.ru_maxrss / 1024.0 << " MB, peak heap " << HeapPeak() / 1e6 << " MB\n";
    if (!result.missing.isEmpty())
        out << "missing pages" << MissingPagesText(result) << "\n";
    for (const QString &note : result.notes)
        out << note << "\n";
    if (!result.imageOnly.isEmpty())
        out << "no text recognised on pages" << result.imageOnly << ": " << result.textFailures.first() << "\n";
    out << "pdfbuild: pages=" << pages << " seconds=" << seconds << " bytes=" << bytes << "\n";
    return 0;
}
