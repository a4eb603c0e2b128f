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
    if (!site.start(port)) {
        QTextStream(stderr) << "cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    QTextStream(stdout) << "home:  " << site.homeUrl() << "\n"
                        << "books: " << site.viewerUrl(QStringLiteral("test.001")) << "\n"
                        << "       " << site.viewerUrl(QStringLiteral("test.012")) << "\n"
                        << Qt::flush;
    return app.exec();
}
