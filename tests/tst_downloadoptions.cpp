#include "downloadoptions.h"
#include "exitstatus.h"
#include "testenv.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

// The command line of a run without a window, parsed by a parser set up like the program's,
// with real queue files and folders; and the run's exit status from its books' outcomes.
class TestDownloadOptions : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void read_data();
    void read();
    void usageError_data();
    void usageError();
    void noRunAsked();
    void helpDocumentsAll();
    void exitStatus_data();
    void exitStatus();

private:
    // The arguments with "%dir" and "%queue" put in, parsed as the program parses them.
    std::optional<DownloadOptions> parse(QStringList arguments, const QByteArray &queue, QString *error);
    QString placed(QString text) const;

    std::unique_ptr<QTemporaryDir> folder;
};

namespace {

const QString Book = QStringLiteral("http://127.0.0.1:8123/cgi/pt?id=mdp.39015");
const QString Book2 = QStringLiteral("https://www.quillmoor.org/cgi/pt?id=uc1.b4&seq=7");

// A parser with the program's own settings and options besides the run's.
void setUpLikeTheProgram(QCommandLineParser &parser, const DownloadCommandLine &commandLine)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addOption(QCommandLineOption(QStringLiteral("version"), QStringLiteral("Show the version.")));
    parser.addPositionalArgument(QStringLiteral("URL"), QStringLiteral("Address to open."), QStringLiteral("[URL]"));
    commandLine.addTo(parser);
}

QString textLayer(const DownloadOptions &options)
{
    switch (options.text) {
    case DownloadOptions::TextLayer::AsWindow:
        return QStringLiteral("as window");
    case DownloadOptions::TextLayer::None:
        return QStringLiteral("none");
    case DownloadOptions::TextLayer::Language:
        return QStringLiteral("lang:") + options.run.ocrLanguage;
    }
    return {};
}

} // namespace

void TestDownloadOptions::init()
{
    folder = std::make_unique<QTemporaryDir>();
    QVERIFY(folder->isValid());
}

QString TestDownloadOptions::placed(QString text) const
{
    return text.replace(QLatin1String("%queue"), folder->filePath(QStringLiteral("books.txt")))
        .replace(QLatin1String("%dir"), folder->path());
}

std::optional<DownloadOptions> TestDownloadOptions::parse(QStringList arguments, const QByteArray &queue, QString *error)
{
    if (!queue.isNull()) {
        QFile file(folder->filePath(QStringLiteral("books.txt")));
        if (!file.open(QIODevice::WriteOnly) || file.write(queue) != queue.size())
            return std::nullopt;
    }
    for (QString &argument : arguments)
        argument = placed(argument);
    QDir::setCurrent(folder->path()); // relative folders are made there
    DownloadCommandLine commandLine;
    QCommandLineParser parser;
    setUpLikeTheProgram(parser, commandLine);
    parser.parse(QStringList{QStringLiteral("quillmoor-downloader")} + arguments);
    return commandLine.read(parser, error);
}

void TestDownloadOptions::read_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("queue"); // null: no queue file
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QString>("pages");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("text");

    const QByteArray noFile;
    QTest::newRow("one book, all defaults") << QStringList{"--download", Book} << noFile << QStringList{Book} << "" << ""
                                            << "as window";
    QTest::newRow("two books in their order") << QStringList{"--download", Book2, Book} << noFile
                                              << QStringList{Book2, Book} << "" << "" << "as window";
    QTest::newRow("address without scheme")
        << QStringList{"--download", "127.0.0.1:8123/cgi/pt?id=mdp.39015"} << noFile << QStringList{Book} << "" << ""
        << "as window";
    QTest::newRow("every option")
        << QStringList{"--download", "--pages", "10-50", "--output", "%dir/pdfs", "--text", "deu+eng", Book} << noFile
        << QStringList{Book} << "10-50" << "%dir/pdfs" << "lang:deu+eng";
    QTest::newRow("options after the address, with =")
        << QStringList{"--download", Book, "--pages=-50", "--text=none"} << noFile << QStringList{Book} << "-50" << ""
        << "none";
    QTest::newRow("single dash options") << QStringList{"-download", "-pages", "7", Book} << noFile
                                         << QStringList{Book} << "7" << "" << "as window";
    QTest::newRow("pages to the end") << QStringList{"--download", "--pages", "10-", Book} << noFile
                                      << QStringList{Book} << "10-" << "" << "as window";
    QTest::newRow("output folder relative to the current folder")
        << QStringList{"--download", "--output", "pdfs", Book} << noFile << QStringList{Book} << ""
        << "%dir/pdfs" << "as window";
    QTest::newRow("output folder made with its parents")
        << QStringList{"--download", "--output", "%dir/new/pdfs", Book} << noFile << QStringList{Book} << ""
        << "%dir/new/pdfs" << "as window";
    QTest::newRow("queue file alone")
        << QStringList{"--download", "--queue", "%queue"}
        << QByteArray("# books for the weekend\n" + Book.toUtf8() + "\n\n   \n  # " + Book.toUtf8() + "\r\n  " +
                      Book2.toUtf8() + "  \r\n")
        << QStringList{Book, Book2} << "" << "" << "as window";
    QTest::newRow("queue file without a last newline")
        << QStringList{"--download", "--queue", "%queue"} << Book.toUtf8() << QStringList{Book} << "" << ""
        << "as window";
    QTest::newRow("command line first, then the queue file")
        << QStringList{"--download", "--queue", "%queue", Book} << Book2.toUtf8() << QStringList{Book, Book2} << ""
        << "" << "as window";
    QTest::newRow("the same book twice is passed on") << QStringList{"--download", Book, Book} << noFile
                                                      << QStringList{Book, Book} << "" << "" << "as window";
}

void TestDownloadOptions::read()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, queue);
    QFETCH(QStringList, urls);
    QFETCH(QString, pages);
    QFETCH(QString, output);
    QFETCH(QString, text);

    QString error;
    const std::optional<DownloadOptions> options = parse(arguments, queue, &error);
    QVERIFY2(options, qPrintable(error));
    QCOMPARE(error, QString());
    QCOMPARE(options->urls, urls);
    QCOMPARE(PageRangeText(options->run.range), pages);
    QCOMPARE(options->run.outputFolder, output.isEmpty() ? QString() : placed(output) + QLatin1Char('/'));
    QCOMPARE(textLayer(*options), text);
}

void TestDownloadOptions::usageError_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("queue");
    QTest::addColumn<QString>("error");

    const QByteArray noFile;
    const QString notViewer =
        QStringLiteral("\"%1\" is not the address of a book in the library's viewer (such an address contains \"/cgi/pt?id=\")");
    QTest::newRow("no book") << QStringList{"--download"} << noFile
                             << "No book to download: name one or more viewer addresses, or --queue FILE";
    QTest::newRow("empty queue file") << QStringList{"--download", "--queue", "%queue"} << QByteArray("# none yet\n\n")
                                      << "No book to download: name one or more viewer addresses, or --queue FILE";
    QTest::newRow("not a viewer address") << QStringList{"--download", Book, "http://127.0.0.1/search?q=x"} << noFile
                                          << notViewer.arg("http://127.0.0.1/search?q=x");
    QTest::newRow("viewer path on a file") << QStringList{"--download", "file:///cgi/pt?id=x"} << noFile
                                           << notViewer.arg("file:///cgi/pt?id=x");
    QTest::newRow("a word") << QStringList{"--download", "books"} << noFile << notViewer.arg("books");
    QTest::newRow("not a viewer address in the queue file")
        << QStringList{"--download", "--queue", "%queue"} << QByteArray(Book.toUtf8() + "\nwww.quillmoor.org/\n")
        << "%queue: " + notViewer.arg("www.quillmoor.org/");
    QTest::newRow("queue file missing") << QStringList{"--download", "--queue", "%dir/gone.txt", Book} << noFile
                                        << "The queue file %dir/gone.txt cannot be read: No such file or directory";
    QTest::newRow("queue file is a folder") << QStringList{"--download", "--queue", "%dir", Book} << noFile
                                            << "The queue file %dir cannot be read: it is a folder";
    QTest::newRow("bad range") << QStringList{"--download", "--pages", "5-2", Book} << noFile
                               << "--pages 5-2: The range 5-2 ends before it starts";
    // Past the largest book: with no page count from the viewer the run would count up to it.
    QTest::newRow("page past the largest book") << QStringList{"--download", "--pages", "2147483647", Book} << noFile
                                                << "--pages 2147483647: Page 2147483647 is past the largest book the program takes (100000 pages)";
    QTest::newRow("range past the largest book") << QStringList{"--download", "--pages", "1-2000000000", Book} << noFile
                                                 << "--pages 1-2000000000: Page 2000000000 is past the largest book the program takes (100000 pages)";
    QTest::newRow("page 0") << QStringList{"--download", "--pages", "0-3", Book} << noFile
                            << "--pages 0-3: Pages are counted from 1, so there is no page 0 (\"0-3\")";
    QTest::newRow("pages twice") << QStringList{"--download", "--pages", "1-5", "--pages", "7-9", Book} << noFile
                                 << "--pages is given more than once";
    QTest::newRow("pages without a value") << QStringList{"--download", Book, "--pages"} << noFile
                                           << "Missing value after '--pages'.";
    QTest::newRow("output is a file") << QStringList{"--download", "--output", "%queue", Book} << QByteArray("x")
                                      << "--output %queue is a file, not a folder";
    QTest::newRow("output that cannot be made") << QStringList{"--download", "--output", "%queue/pdfs", Book} << QByteArray("x")
                                                << "--output %dir/books.txt/pdfs: Cannot create folder \"%dir/books.txt\". A file of that name is in the way";
    QTest::newRow("output empty") << QStringList{"--download", "--output=", Book} << noFile << "--output needs a folder";
    QTest::newRow("text not a language code") << QStringList{"--download", "--text", "en glish", Book} << noFile
                                              << "--text takes a language code such as eng or deu+eng, or none, not \"en glish\"";
    QTest::newRow("text with a dangling +") << QStringList{"--download", "--text", "eng+", Book} << noFile
                                            << "--text takes a language code such as eng or deu+eng, or none, not \"eng+\"";
    QTest::newRow("mistyped option") << QStringList{"--download", "--page", "10-50", Book} << noFile
                                     << "Unknown option \"--page\"";
    QTest::newRow("browser switch") << QStringList{"--download", "--disable-gpu", Book} << noFile
                                    << "Unknown option \"--disable-gpu\"";
    QTest::newRow("run option without --download") << QStringList{"--pages", "10-50", Book} << noFile
                                                   << "--pages works only with --download";
    QTest::newRow("queue without --download") << QStringList{"--queue", "%queue"} << QByteArray() << "--queue works only with --download";
}

void TestDownloadOptions::usageError()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, queue);
    QFETCH(QString, error);

    QString reason;
    QCOMPARE(parse(arguments, queue, &reason), std::nullopt);
    QCOMPARE(reason, placed(error));
}

void TestDownloadOptions::noRunAsked()
{
    // The window's own command line: no run, and no complaint about options the browser takes.
    QString error = QStringLiteral("left over");
    QCOMPARE(parse({"--disable-gpu", Book}, QByteArray(), &error), std::nullopt);
    QCOMPARE(error, QString());
}

void TestDownloadOptions::helpDocumentsAll()
{
    DownloadCommandLine commandLine;
    QCommandLineParser parser;
    setUpLikeTheProgram(parser, commandLine);
    const QString help = parser.helpText() + DownloadCommandLine::HelpText(QStringLiteral("quillmoor-downloader"));
    const QStringList expected{
        "--download",
        "--queue <FILE>",
        "--pages <FROM-TO>",
        "--output <DIR>",
        "--text <LANG|none>",
        "quillmoor-downloader --download [options] URL...",
        "lines starting with # are",
        "  0    every page of every book is in its PDF",
        "  1    some pages are missing (listed on standard error)",
        "  2    a usage error, or an address that is not a book's viewer",
        "  3    the site or a book could not be opened, or another process uses the profile",
        "  130  stopped by SIGINT",
        "  143  stopped by SIGTERM",
    };
    for (const QString &text : expected)
        QVERIFY2(help.contains(text), qPrintable(text));
}

void TestDownloadOptions::exitStatus_data()
{
    QTest::addColumn<QList<BookOutcome>>("outcomes");
    QTest::addColumn<int>("stopSignal");
    QTest::addColumn<int>("status");

    using O = BookOutcome;
    QTest::newRow("one book, complete") << QList<O>{O::Complete} << 0 << 0;
    QTest::newRow("all complete") << QList<O>{O::Complete, O::Complete, O::Complete} << 0 << 0;
    QTest::newRow("pages missing in one") << QList<O>{O::Complete, O::PagesMissing, O::Complete} << 0 << 1;
    QTest::newRow("one not opened") << QList<O>{O::Complete, O::NotOpened} << 0 << 3;
    QTest::newRow("not opened outweighs missing pages") << QList<O>{O::NotOpened, O::PagesMissing} << 0 << 3;
    QTest::newRow("missing pages after a book not opened") << QList<O>{O::PagesMissing, O::NotOpened, O::PagesMissing}
                                                           << 0 << 3;
    QTest::newRow("SIGINT") << QList<O>{O::Complete, O::PagesMissing} << int(SIGINT) << 130;
    QTest::newRow("SIGTERM before any book") << QList<O>{} << int(SIGTERM) << 143;
    QTest::newRow("SIGTERM outweighs a book not opened") << QList<O>{O::NotOpened} << int(SIGTERM) << 143;
    QTest::newRow("no books") << QList<O>{} << 0 << 0;
}

void TestDownloadOptions::exitStatus()
{
    QFETCH(QList<BookOutcome>, outcomes);
    QFETCH(int, stopSignal);
    QFETCH(int, status);

    QCOMPARE(RunExitStatus(outcomes, stopSignal), status);
}

QM_TEST_MAIN(TestDownloadOptions)
#include "tst_downloadoptions.moc"
