#include "startup.h"

#include "MainUnit.h"
#include "activitylog.h"
#include "appid.h"
#include "apperror.h"
#include "engineprofile.h"
#include "downloadoptions.h"
#include "errorreport.h"
#include "exitstatus.h"
#include "headlessrun.h"
#include "profilelock.h"
#include "folders.h"
#include "ocrrecognizer.h"
#include "pdfenginelibrary.h"
#include "pdfexport.h"
#include "sitedownloadlog.h"
#include "starturl.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QUrl>
#include <QWebEngineProfile>
#include <cstdio>

namespace {

const QString ProductName = QStringLiteral("Quillmoor Downloader");

struct Options
{
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")};
    // No "-v": "--v=1" is Chromium's logging switch, which may come on the same command line.
    QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Show the version and the PDF engine library in use, and exit.")};
    DownloadCommandLine download; // --download and its options
};

// Parses arguments the way the program reads them: unknown options are no error (Qt WebEngine
// takes Chromium switches from the same command line), and nothing after "--webEngineArgs" is
// the program's.
void parse(QCommandLineParser &parser, const Options &options, QStringList arguments)
{
    parser.setApplicationDescription(QStringLiteral("Saves books from the Quillmoor online library as PDF files."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(options.help);
    parser.addOption(options.version);
    options.download.addTo(parser);
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("Address to open instead of the home page."),
                                 QStringLiteral("[URL]"));
    const qsizetype engineArgs = arguments.indexOf(QStringLiteral("--webEngineArgs"));
    if (engineArgs > 0)
        arguments = arguments.mid(0, engineArgs);
    parser.parse(arguments); // false for unknown options alone, which are not ours to refuse
}

QStringList rawArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void setNames()
{
    QCoreApplication::setApplicationName(ProductName);
    QCoreApplication::setApplicationVersion(QStringLiteral(QM_VERSION));
}

// --help or --version: printed with only a core application, so no display is needed.
int printAndExit(int argc, char *argv[], bool help)
{
    QCoreApplication app(argc, argv);
    setNames();
    SetupProgramFolder();
    QString text;
    if (help) {
        QCommandLineParser parser;
        Options options;
        parse(parser, options, QCoreApplication::arguments());
        text = parser.helpText() + QLatin1Char('\n') + DownloadCommandLine::HelpText(QCoreApplication::arguments().constFirst());
    } else {
        text = VersionText();
    }
    std::fputs(text.toLocal8Bit().constData(), stdout);
    return 0;
}

} // namespace

QString StartUrlFromArguments(const QStringList &arguments)
{
    QCommandLineParser parser;
    Options options;
    parse(parser, options, arguments);
    for (const QString &argument : parser.positionalArguments()) {
        if (argument.startsWith(QLatin1Char('-')))
            continue;
        const QUrl url = QUrl::fromUserInput(argument, QDir::currentPath());
        if (url.isValid())
            return url.toString(QUrl::FullyEncoded);
    }
    return {};
}

QString VersionText()
{
    QString text = QStringLiteral("%1 %2\n").arg(ProductName, QStringLiteral(QM_VERSION));
    const QString path = TCustomPDFExport::LibraryPath();
    try {
        TPDFEngineLibrary library(path); // loaded and every entry point resolved, as a build does
        text += QStringLiteral("PDF engine library: %1\n").arg(path);
    } catch (const AppError &e) {
        text += QStringLiteral("PDF engine library: not usable: %1\n").arg(e.message());
    }
    return text;
}

namespace {

// --download: the books' options as the command line gives them, or the usage error.
std::optional<DownloadOptions> readDownload(bool *requested, QString *error)
{
    QCommandLineParser parser;
    Options options;
    parse(parser, options, QCoreApplication::arguments());
    *requested = options.download.isRequested(parser);
    return options.download.read(parser, error);
}

void printError(const QString &text)
{
    std::fputs(QStringLiteral("%1: %2\n").arg(QCoreApplication::arguments().value(0), text).toLocal8Bit().constData(), stderr);
}

} // namespace

int RunProgram(int argc, char *argv[])
{
    bool download = false;
    {
        QCommandLineParser parser;
        Options options;
        parse(parser, options, rawArguments(argc, argv));
        if (parser.isSet(options.help) || parser.isSet(options.version))
            return printAndExit(argc, argv, parser.isSet(options.help));
        download = options.download.isRequested(parser);
    }
    // A run without a window needs no display: it renders off screen.
    if (download) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Standard error is the run's report: the engine's notes on its set-up stay out of it.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\nqt.qpa.*=false"));
    }

    const BrowserSandbox sandbox = PrepareEngineProcess();
    LimitOcrThreads(); // before any thread of the program starts
    QApplication app(argc, argv);
    setNames();
    QGuiApplication::setDesktopFileName(AppId());
    QApplication::setWindowIcon(QIcon::fromTheme(AppId(), QIcon(QStringLiteral(":/RCDATA/ICONBMP"))));
    // The program ends when its window has closed, not when the last pop-up goes.
    QApplication::setQuitOnLastWindowClosed(false);
    // Read after QApplication took its own options (-platform and the like) out.
    bool requested = false;
    QString usageError;
    const std::optional<DownloadOptions> downloadOptions = readDownload(&requested, &usageError);
    if (!usageError.isEmpty()) {
        printError(usageError);
        return ExitStatus::UsageError;
    }
    SetStartUrl(StartUrlFromArguments(QCoreApplication::arguments()));

    SetupFolders();
    // One process at a time on the profile: a second one would damage it.
    ProfileLock lock(AppFolders().dataFolder);
    if (!lock.tryLock()) {
        printError(lock.errorText());
        if (!downloadOptions)
            QMessageBox::critical(nullptr, ProductName, lock.errorText());
        return ExitStatus::NotOpened;
    }
    if (downloadOptions) {
        SetErrorReporter([](const QString &message) { printError(message); });
        QWebEngineProfile *profile = CreateEngineProfile(AppFolders().dataFolder + QStringLiteral("cef/cache"));
        const int status = RunDownloadsWithoutWindow(*downloadOptions, profile);
        delete profile;
        return status;
    }
    SetErrorReporter([](const QString &message) {
        QMessageBox::critical(QApplication::activeWindow(), ProductName, message);
    });

    QWebEngineProfile *profile = CreateEngineProfile(AppFolders().dataFolder + QStringLiteral("cef/cache"));
    LogSiteDownloads(profile);
    int result = 0;
    {
        TMainfm window(profile);
        if (!sandbox.on)
            AddLog(BrowserSandboxLogLine(sandbox));
        QObject::connect(&window, &TMainfm::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
        result = app.exec();
    }
    delete profile; // after every page that used it
    return result;
}
