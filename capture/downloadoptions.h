#pragma once

#include "runsettings.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>
#include <optional>

class QCommandLineParser;

// What `--download` asks of a run without a window.
struct DownloadOptions
{
    enum class TextLayer {
        AsWindow, // as the window's setting
        None,     // no text layer
        Language, // a text layer in textLanguage
    };

    QStringList urls; // the books' viewer addresses: the command line's first, then each queue file's
    // Each book's run: its pages (range), where its PDF goes (outputFolder, absolute; empty:
    // where the window writes its PDFs), its text layer's language when text is Language, and
    // the pace.
    RunSettings run;
    TextLayer text = TextLayer::AsWindow;
};

// The command line of a run without a window:
//   quillmoor-downloader --download [--queue FILE] [--pages FROM-TO] [--output DIR]
//                        [--text LANG|none] URL...
// Its options are added to the program's own parser, which parses once; read() then makes
// sense of them. Read the arguments after the application object has taken its own options
// (-platform and the like) out.
class DownloadCommandLine
{
public:
    DownloadCommandLine();

    void addTo(QCommandLineParser &parser) const;

    // Whether a run without a window is asked for.
    bool isRequested(const QCommandLineParser &parser) const;

    // The run's options from a parsed command line, with the addresses of the queue files read
    // and every address checked. None with *error empty when no run is asked for and none of
    // its options given; none with the usage error in *error when the command line is wrong
    // (an option the program does not know, a value missing or given twice, a queue file that
    // cannot be read, an address that is not a book's viewer, no book at all, or run options
    // without --download).
    std::optional<DownloadOptions> read(const QCommandLineParser &parser, QString *error) const;

    // The part of --help the options' own lines cannot say: the form of a run, the queue
    // file, the output and the exit statuses. program: the name the program was run by.
    static QString HelpText(const QString &program);

private:
    QCommandLineOption m_download;
    QCommandLineOption m_queue;
    QCommandLineOption m_pages;
    QCommandLineOption m_output;
    QCommandLineOption m_text;
};

// The addresses a queue file lists, one a line; blank lines and lines starting with "#" are
// skipped. None, with the reason in *error, when the file cannot be read.
std::optional<QStringList> ReadQueueFile(const QString &path, QString *error);
