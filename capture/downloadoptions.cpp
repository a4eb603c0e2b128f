#include "downloadoptions.h"

#include "apperror.h"
#include "bookpage.h"
#include "makefolder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace {

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// The address as the browser would load it ("host/cgi/pt?id=x" becomes "http://host/..."),
// when it is a book's viewer address; empty otherwise.
QString viewerAddress(const QString &text)
{
    const QUrl url = QUrl::fromUserInput(text.trimmed());
    if (!url.isValid() || (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return {};
    const QString address = url.toString(QUrl::FullyEncoded);
    return IsBookViewerUrl(address) ? address : QString();
}

QString notAViewer(const QString &text)
{
    return QStringLiteral("\"%1\" is not the address of a book in the library's viewer "
                          "(such an address contains \"/cgi/pt?id=\")")
        .arg(text);
}

// The option's one value; false (with the reason) when it was given more than once.
bool singleValue(const QCommandLineParser &parser, const QCommandLineOption &option, QString *value, QString *error)
{
    const QStringList values = parser.values(option);
    if (values.size() > 1)
        return fail(error, QStringLiteral("--%1 is given more than once").arg(option.names().constLast()));
    *value = values.value(0);
    return true;
}

// Recognition language codes as the text recognition names its models, one or several joined
// by "+".
bool isLanguageCode(const QString &text)
{
    static const QRegularExpression codes(QStringLiteral("^[A-Za-z0-9_]+(\\+[A-Za-z0-9_]+)*$"));
    return codes.match(text).hasMatch();
}

// Tests run the real program faster: QUILLMOOR_TICK_MS sets the tick, QUILLMOOR_SITE_WAITS the
// waits for a failing page and the time it is given up after, in milliseconds ("200,400;2000").
void readTestPacing(RunSettings &run)
{
    bool ok = false;
    const int tick = qEnvironmentVariableIntValue("QUILLMOOR_TICK_MS", &ok);
    if (ok && tick > 0)
        run.tickMs = tick;
    const QString waits = qEnvironmentVariable("QUILLMOOR_SITE_WAITS");
    if (waits.isEmpty())
        return;
    const QStringList parts = waits.split(QLatin1Char(';'));
    run.patience.waits.clear();
    for (const QString &wait : parts.value(0).split(QLatin1Char(','), Qt::SkipEmptyParts))
        run.patience.waits << std::chrono::milliseconds(wait.toLongLong());
    if (parts.size() > 1)
        run.patience.giveUpAfter = std::chrono::milliseconds(parts.at(1).toLongLong());
}

} // namespace

DownloadCommandLine::DownloadCommandLine()
    : m_download(QStringLiteral("download"),
                 QStringLiteral("Download the books at the addresses given, one after another, without a window, "
                                "then exit.")),
      m_queue(QStringLiteral("queue"),
              QStringLiteral("Download the books whose addresses FILE lists too, one address a line."),
              QStringLiteral("FILE")),
      m_pages(QStringLiteral("pages"),
              QStringLiteral("Download only pages FROM to TO of each book. Without FROM a book starts at the page "
                             "it opens at, without TO it goes to its end; one number is that page alone."),
              QStringLiteral("FROM-TO")),
      m_output(QStringLiteral("output"),
               QStringLiteral("Write the PDFs to DIR, made with the folders above it when missing (default: where the "
                              "window saves them)."),
               QStringLiteral("DIR")),
      m_text(QStringLiteral("text"),
             QStringLiteral("Lay a searchable text layer in language LANG over the pages (for example eng or "
                            "deu+eng), or none (default: as set in the window)."),
             QStringLiteral("LANG|none"))
{
}

void DownloadCommandLine::addTo(QCommandLineParser &parser) const
{
    parser.addOptions({m_download, m_queue, m_pages, m_output, m_text});
}

bool DownloadCommandLine::isRequested(const QCommandLineParser &parser) const
{
    return parser.isSet(m_download);
}

std::optional<DownloadOptions> DownloadCommandLine::read(const QCommandLineParser &parser, QString *error) const
{
    if (error)
        error->clear();
    if (!isRequested(parser)) {
        for (const QCommandLineOption *option : {&m_queue, &m_pages, &m_output, &m_text}) {
            if (parser.isSet(*option)) {
                fail(error, QStringLiteral("--%1 works only with --download").arg(option->names().constLast()));
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    // The window passes over options it does not know (they may be the browser's); a run
    // does not, so that a mistyped option never goes unnoticed.
    if (!parser.unknownOptionNames().isEmpty()) {
        const QString name = parser.unknownOptionNames().constFirst();
        fail(error, QStringLiteral("Unknown option \"%1%2\"").arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
        return std::nullopt;
    }
    if (!parser.errorText().isEmpty()) {
        fail(error, parser.errorText());
        return std::nullopt;
    }

    DownloadOptions options;
    QString text;
    if (!singleValue(parser, m_pages, &text, error))
        return std::nullopt;
    QString rangeError;
    const std::optional<PageRange> range = ParsePageRange(text, &rangeError);
    if (!range) {
        fail(error, QStringLiteral("--pages %1: %2").arg(text, rangeError));
        return std::nullopt;
    }
    options.run.range = *range;

    if (!singleValue(parser, m_output, &text, error))
        return std::nullopt;
    if (parser.isSet(m_output)) {
        if (text.trimmed().isEmpty()) {
            fail(error, QStringLiteral("--output needs a folder"));
            return std::nullopt;
        }
        const QFileInfo folder(text);
        if (folder.exists() && !folder.isDir()) {
            fail(error, QStringLiteral("--output %1 is a file, not a folder").arg(text));
            return std::nullopt;
        }
        // Made now, with the folders above it, and tried: a book is never captured only to
        // find that its PDF has nowhere to go.
        try {
            MakeFolders(folder.absoluteFilePath());
        } catch (const AppError &e) {
            fail(error, QStringLiteral("--output %1: %2").arg(text, e.message()));
            return std::nullopt;
        }
        if (const QString problem = FolderWriteProblem(folder.absoluteFilePath()); !problem.isEmpty()) {
            fail(error, QStringLiteral("--output %1: nothing can be written there (%2)").arg(text, problem));
            return std::nullopt;
        }
        options.run.outputFolder = folder.absoluteFilePath() + QLatin1Char('/');
    }

    if (!singleValue(parser, m_text, &text, error))
        return std::nullopt;
    if (parser.isSet(m_text)) {
        if (text == QLatin1String("none")) {
            options.text = DownloadOptions::TextLayer::None;
        } else if (isLanguageCode(text)) {
            options.text = DownloadOptions::TextLayer::Language;
            options.run.ocrLanguage = text;
        } else {
            fail(error, QStringLiteral("--text takes a language code such as eng or deu+eng, or none, not \"%1\"").arg(text));
            return std::nullopt;
        }
    }

    readTestPacing(options.run);

    for (const QString &argument : parser.positionalArguments()) {
        const QString address = viewerAddress(argument);
        if (address.isEmpty()) {
            fail(error, notAViewer(argument));
            return std::nullopt;
        }
        options.urls << address;
    }
    for (const QString &file : parser.values(m_queue)) {
        const std::optional<QStringList> lines = ReadQueueFile(file, error);
        if (!lines)
            return std::nullopt;
        for (const QString &line : *lines) {
            const QString address = viewerAddress(line);
            if (address.isEmpty()) {
                fail(error, QStringLiteral("%1: %2").arg(file, notAViewer(line)));
                return std::nullopt;
            }
            options.urls << address;
        }
    }
    if (options.urls.isEmpty()) {
        fail(error, QStringLiteral("No book to download: name one or more viewer addresses, or --queue FILE"));
        return std::nullopt;
    }
    return options;
}

QString DownloadCommandLine::HelpText(const QString &program)
{
    return QStringLiteral(
               "Downloading without a window:\n"
               "  %1 --download [options] URL...\n"
               "captures each book whose viewer address is given (an address containing \"/cgi/pt?id=\") and\n"
               "builds its PDF, one book after another, with no window and no display needed. It uses the\n"
               "window's profile, so a sign-in made in the window applies. Each page and each book is\n"
               "reported on standard error; the path of each PDF written goes to standard output, one a\n"
               "line. A queue file lists one address a line; blank lines and lines starting with # are\n"
               "skipped. SIGINT (Ctrl+C) and SIGTERM stop the run like Stop: the pages stored so far are\n"
               "kept and an earlier PDF of the book is left as it was.\n"
               "\n"
               "Exit status:\n"
               "  0    every page of every book is in its PDF\n"
               "  1    some pages are missing (listed on standard error)\n"
               "  2    a usage error, or an address that is not a book's viewer\n"
               "  3    the site or a book could not be opened, or another process uses the profile\n"
               "  4    a page file or the PDF could not be written (a full disk, a folder that takes no\n"
               "       files), or a book would not fit where it goes\n"
               "  130  stopped by SIGINT\n"
               "  143  stopped by SIGTERM\n")
        .arg(program);
}

std::optional<QStringList> ReadQueueFile(const QString &path, QString *error)
{
    QFile file(path);
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        fail(error, QStringLiteral("The queue file %1 cannot be read: %2")
                        .arg(path, QFileInfo(path).isDir() ? QStringLiteral("it is a folder") : file.errorString()));
        return std::nullopt;
    }
    QStringList addresses;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QString text = line.trimmed();
        if (!text.isEmpty() && !text.startsWith(QLatin1Char('#')))
            addresses << text;
    }
    return addresses;
}
