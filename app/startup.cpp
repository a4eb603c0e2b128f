#include "startup.h"

#include "MainUnit.h"
#include "engineprofile.h"
#include "errorreport.h"
#include "folders.h"

#include <QApplication>
#include <QMessageBox>
#include <QWebEngineProfile>

int RunProgram(int argc, char *argv[])
{
    PrepareEngineProcess();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmoor Downloader"));
    // The program ends when its window has closed, not when the last pop-up goes.
    QApplication::setQuitOnLastWindowClosed(false);

    SetupFolders();
    SetErrorReporter([](const QString &message) {
        QMessageBox::critical(QApplication::activeWindow(), QStringLiteral("Quillmoor Downloader"), message);
    });

    QWebEngineProfile *profile = CreateEngineProfile(AppFolders().dataFolder + QStringLiteral("cef/cache"));
    int result = 0;
    {
        TMainfm window(profile);
        QObject::connect(&window, &TMainfm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        result = app.exec();
    }
    delete profile; // after every page that used it
    return result;
}
