// Serves the test viewer site on 127.0.0.1 for trying the program by hand:
//   build/bin/qm-test-site [port]      (default 8765)
// then open http://127.0.0.1:<port>/cgi/pt?id=test.001&seq=1 in the program.
#include "viewersite.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const quint16 port = argc > 1 ? quint16(QString::fromLocal8Bit(argv[1]).toUInt()) : 8765;
    ViewerSite site;
    site.addBook(QStringLiteral("test.001"), ViewerSite::Book{});
    ViewerSite::Book longer;
    longer.totalSeq = 12;
    site.addBook(QStringLiteral("test.012"), longer);
    ViewerSite::Book scans; // A4 pages scanned at 300 dpi in colour, as the library has them
    scans.totalSeq = 3;
    scans.scan = true;
    scans.title = QStringLiteral("A Book of Scans");
    site.addBook(QStringLiteral("scan.003"), scans);
    ViewerSite::Book jpegs = scans; // the same scans served as JPEG files, one turned, one with a colour profile
    jpegs.totalSeq = 4;
    jpegs.format = ViewerSite::Book::Format::Jpeg;
    jpegs.rotatedPage = 2;
    jpegs.iccPage = 3;
    jpegs.title = QStringLiteral("A Book of JPEG Scans");
    site.addBook(QStringLiteral("jpeg.004"), jpegs);
    ViewerSite::Book text; // pages of printed text, for searchable PDFs
    text.totalSeq = 6;
    text.text = true;
    text.title = QStringLiteral("A Book of Words");
    site.addBook(QStringLiteral("text.006"), text);
    ViewerSite::Book outage; // page 3's image answers 503 (Retry-After: 20) for a minute from its first request
    outage.totalSeq = 5;
    outage.title = QStringLiteral("A Book Behind an Outage");
    outage.imageRetryMs = 3600000;
    outage.outagePage = 3;
    outage.outageMs = 60000;
    outage.retryAfterSeconds = 20;
    site.addBook(QStringLiteral("outage.005"), outage);
    if (!site.start(port)) {
        QTextStream(stderr) << "cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    QTextStream(stdout) << "home:  " << site.homeUrl() << "\n"
                        << "books: " << site.viewerUrl(QStringLiteral("test.001")) << "\n"
                        << "       " << site.viewerUrl(QStringLiteral("test.012")) << "\n"
                        << "       " << site.viewerUrl(QStringLiteral("scan.003")) << "\n"
                        << "       " << site.viewerUrl(QStringLiteral("text.006")) << "\n"
                        << "       " << site.viewerUrl(QStringLiteral("outage.005")) << "\n"
                        << "       " << site.viewerUrl(QStringLiteral("jpeg.004")) << "\n"
                        << Qt::flush;
    return app.exec();
}
