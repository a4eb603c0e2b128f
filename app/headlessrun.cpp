#include "headlessrun.h"

#include "apperror.h"
#include "bookidentity.h"
#include "booksequence.h"
#include "chromium.h"
#include "downloadcontroller.h"
#include "exitstatus.h"
#include "ocrmodels.h"
#include "resourcetext.h"
#include "stopsignals.h"
#include "terminalwriter.h"
#include "textsetting.h"
#include "vbooks.h"
#include "windowparent.h"

#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

class HeadlessRun : public QObject
{
public:
    HeadlessRun(const DownloadOptions &options, QWebEngineProfile *profile)
        : m_browser(profile), m_pageScript(ResourceText(QStringLiteral("jsQM"), QStringLiteral("HTML"))),
          m_controller(m_browser, m_book, m_pageScript), m_sequence(m_controller, m_browser, m_queue),
          m_writer([](const QString &line) { printLine(stderr, line); }, [](const QString &line) { printLine(stdout, line); })
    {
        m_controller.Settings = options.run;
        if (options.text == DownloadOptions::TextLayer::AsWindow)
            m_controller.Settings.ocrLanguage = SavedTextLanguage(InstalledOcrLanguages());
        else if (options.text == DownloadOptions::TextLayer::None)
            m_controller.Settings.ocrLanguage.clear();
        for (const QString &url : options.urls) {
            QueueEntry entry;
            entry.url = url;
            try {
                entry.bookId = BookIdFromUrl(url);
            } catch (const AppError &) {
            }
            entry.range = options.run.range;
            m_queue.add(entry); // a book named twice is downloaded once
        }

        connect(&m_controller, &TDownloadController::Event, this, [this](const RunEvent &event) { m_writer.Write(event); });
        connect(&m_sequence, &BookSequence::BookOpening, this, [this](const QueueEntry &entry) { m_writer.BookOpening(entry); });
        connect(&m_sequence, &BookSequence::BookNotOpened, this, [this](const QueueEntry &entry, const QString &why) {
            m_writer.BookNotOpened(entry, why);
            m_outcomes << BookOutcome::NotOpened;
        });
        connect(&m_sequence, &BookSequence::BookEnded, this, [this](const QueueEntry &entry, const RunOutcome &outcome) {
            if (m_stopSignal)
                return; // a stop by a signal ends the program, not the book
            m_writer.BookEnded(entry, outcome);
            m_outcomes << BookOutcomeOf(outcome);
        });
        connect(&m_sequence, &BookSequence::Done, &m_loop, &QEventLoop::quit);
        connect(&m_signals, &StopSignals::stopRequested, this, &HeadlessRun::stopRequested);
    }

    int exec()
    {
        m_host.resize(1280, 960);
        m_host.show(); // on the offscreen platform: laid out and painted, never on a screen
        if (!m_browser.CreateBrowser(&m_host)) {
            printLine(stderr, QStringLiteral("The browser could not be created"));
            return ExitStatus::NotOpened;
        }
        QTimer::singleShot(0, &m_sequence, &BookSequence::Start);
        m_loop.exec();
        m_controller.Close();
        return RunExitStatus(m_outcomes, m_stopSignal);
    }

private:
    void stopRequested(int signalNumber)
    {
        if (m_stopSignal)
            return;
        m_stopSignal = signalNumber;
        printLine(stderr, QStringLiteral("Stopped by signal %1: the pages stored are kept").arg(signalNumber));
        m_sequence.Stop();
        // Closing the controller (in exec) stops a build under way at its next page and waits
        // for it: the earlier PDF stays, its part file goes.
        m_loop.quit();
    }

    TCEFWindowParent m_host;
    TChromium m_browser;
    TePubobj m_book;
    QString m_pageScript;
    TDownloadController m_controller;
    BookQueue m_queue;
    BookSequence m_sequence;
    TerminalWriter m_writer;
    StopSignals m_signals;
    QEventLoop m_loop;
    int m_stopSignal = 0;
    QList<BookOutcome> m_outcomes;
};

} // namespace

int RunDownloadsWithoutWindow(const DownloadOptions &options, QWebEngineProfile *profile)
{
    int status = ExitStatus::NotOpened;
    {
        HeadlessRun run(options, profile);
        status = run.exec();
    }
    return status;
}
