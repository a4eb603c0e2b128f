#include "headlessrun.h"

#include "apperror.h"
#include "bookidentity.h"
#include "chromium.h"
#include "downloadcontroller.h"
#include "exitstatus.h"
#include "ocrmodels.h"
#include "resourcetext.h"
#include "stopsignals.h"
#include "textsetting.h"
#include "vbooks.h"
#include "windowparent.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>

namespace {

// How long a book's viewer may take to open and tell its page count.
constexpr int OpenTimeoutMs = 90000;

void printLine(FILE *stream, const QString &text)
{
    std::fputs((text + QLatin1Char('\n')).toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

// Lines of the run's log worth a line of their own on a terminal: not the progress lines the
// window rewrites in place, which the page lines here replace.
bool worthPrinting(const QString &line)
{
    for (const char *progress : {"downloading", "Save page", "Loading page", "pdf page", "Build pdf file", "Ready to download",
                                 "Total pages", "download end.", "save pdf file", "missing pages", "user abort", "Waiting for the site"}) {
        if (line.startsWith(QLatin1String(progress)))
            return false;
    }
    return !line.isEmpty();
}

// Tests run the real program faster: QUILLMOOR_TICK_MS sets the tick, QUILLMOOR_SITE_WAITS the
// waits for a failing page and the time it is given up after, in milliseconds ("200,400;2000").
void applyTestPacing(TDownloadController &controller)
{
    bool ok = false;
    const int tick = qEnvironmentVariableIntValue("QUILLMOOR_TICK_MS", &ok);
    if (ok && tick > 0)
        controller.SetTickInterval(tick);
    const QString waits = qEnvironmentVariable("QUILLMOOR_SITE_WAITS");
    if (waits.isEmpty())
        return;
    const QStringList parts = waits.split(QLatin1Char(';'));
    controller.SitePatience.waits.clear();
    for (const QString &wait : parts.value(0).split(QLatin1Char(','), Qt::SkipEmptyParts))
        controller.SitePatience.waits << std::chrono::milliseconds(wait.toLongLong());
    if (parts.size() > 1)
        controller.SitePatience.giveUpAfter = std::chrono::milliseconds(parts.at(1).toLongLong());
}

class HeadlessRun : public QObject
{
public:
    HeadlessRun(const DownloadOptions &options, QWebEngineProfile *profile)
        : m_options(options), m_browser(profile), m_pageScript(ResourceText(QStringLiteral("jsQM"), QStringLiteral("HTML"))),
          m_controller(m_browser, m_book, m_pageScript)
    {
        applyTestPacing(m_controller);
        m_controller.SetPageRange(options.pages);
        if (!options.outputFolder.isEmpty())
            m_controller.SetOutputFolder(QDir(options.outputFolder).absolutePath() + QLatin1Char('/'));
        switch (options.text) {
        case DownloadOptions::TextLayer::AsWindow:
            m_controller.SetOcrLanguage(SavedTextLanguage(InstalledOcrLanguages()));
            break;
        case DownloadOptions::TextLayer::None:
            m_controller.SetOcrLanguage(QString());
            break;
        case DownloadOptions::TextLayer::Language:
            m_controller.SetOcrLanguage(options.textLanguage);
            break;
        }
        m_openTimeout.setSingleShot(true);
        m_openTimeout.setInterval(OpenTimeoutMs);
        connect(&m_openTimeout, &QTimer::timeout, this, [this] {
            notOpened(QStringLiteral("the site did not show the book in %1 s").arg(OpenTimeoutMs / 1000));
        });
        connect(&m_controller, &TDownloadController::LogLine, this, [this](LogEdit edit, const QString &text) {
            if (edit == LogEdit::Add && worthPrinting(text) && text != m_book.id)
                printLine(stderr, text);
        });
        connect(&m_controller, &TDownloadController::BookIdentified, this, &HeadlessRun::bookIdentified);
        connect(&m_controller, &TDownloadController::OtherPageLoaded, this, [this] {
            if (m_phase == Phase::Opening)
                notOpened(QStringLiteral("the site showed %1 instead of the book's viewer").arg(m_browser.MainFrameUrl()));
        });
        connect(&m_controller, &TDownloadController::PageStored, this, [this](int page) {
            const int total = m_controller.TotalPages();
            printLine(stderr, QStringLiteral("%1: page %2 of %3 (%4)")
                                  .arg(m_bookId)
                                  .arg(page)
                                  .arg(total > 0 ? QString::number(total) : QStringLiteral("?"),
                                       RunProgressText(m_controller.run().progress)));
        });
        connect(&m_controller, &TDownloadController::Failed, this, [this](const QString &reason) {
            printLine(stderr, QStringLiteral("%1: %2").arg(m_bookId, reason));
            if (m_phase == Phase::Running) {
                m_failed = true;
                m_controller.Stop(); // a run stays on after a failure until Stop
            }
        });
        connect(&m_controller, &TDownloadController::Finished, this, &HeadlessRun::bookFinished);
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
        QTimer::singleShot(0, this, &HeadlessRun::nextBook);
        m_loop.exec();
        m_controller.Close();
        return RunExitStatus(m_outcomes, m_stopSignal);
    }

private:
    enum class Phase { Between, Opening, Running, Stopping };

    void nextBook()
    {
        if (m_stopSignal || m_outcomes.size() >= m_options.urls.size()) {
            m_loop.quit();
            return;
        }
        m_phase = Phase::Opening;
        m_failed = false;
        const QString url = m_options.urls.at(m_outcomes.size());
        try {
            m_bookId = BookIdFromUrl(url);
        } catch (const AppError &) {
            m_bookId = url;
        }
        printLine(stderr, QStringLiteral("%1: opening %2").arg(m_bookId, url));
        m_openTimeout.start();
        m_browser.LoadURL(url);
    }

    void bookIdentified(const QString &bookId, int totalPages)
    {
        if (m_phase != Phase::Opening || !SameBook(bookId, m_bookId))
            return;
        m_openTimeout.stop();
        if (totalPages <= 0) {
            notOpened(QStringLiteral("the viewer did not say how many pages the book has: is the site reachable, "
                                     "and is the profile signed in?"));
            return;
        }
        m_phase = Phase::Running;
        try {
            m_controller.Start();
        } catch (const AppError &e) {
            notOpened(e.message());
            return;
        }
        if (!m_controller.run().Working)
            notOpened(QStringLiteral("the download did not start"));
    }

    void notOpened(const QString &why)
    {
        m_openTimeout.stop();
        printLine(stderr, QStringLiteral("%1: not downloaded: %2").arg(m_bookId, why));
        endBook(BookOutcome::NotOpened);
    }

    void bookFinished(const RunOutcome &outcome)
    {
        if (m_phase != Phase::Running)
            return; // a stop by a signal ends the program, not the book
        switch (outcome.kind) {
        case RunOutcome::Complete:
            printLine(stdout, outcome.pdfPath);
            printLine(stderr, QStringLiteral("%1: done: %2").arg(m_bookId, outcome.pdfPath));
            endBook(m_failed ? BookOutcome::PagesMissing : BookOutcome::Complete);
            return;
        case RunOutcome::PagesMissing:
            printLine(stdout, outcome.pdfPath);
            printLine(stderr, QStringLiteral("%1: pages missing:%2 (in %3)").arg(m_bookId, outcome.missing, outcome.pdfPath));
            endBook(BookOutcome::PagesMissing);
            return;
        case RunOutcome::NoPages:
            printLine(stderr, QStringLiteral("%1: no page could be captured: no PDF written").arg(m_bookId));
            endBook(BookOutcome::NotOpened);
            return;
        case RunOutcome::LeftBook:
            printLine(stderr, QStringLiteral("%1: %2; run it again to go on at the first page not stored")
                                  .arg(m_bookId, outcome.reason));
            endBook(m_controller.run().storedInRun ? BookOutcome::PagesMissing : BookOutcome::NotOpened);
            return;
        case RunOutcome::Stopped:
            printLine(stderr, QStringLiteral("%1: stopped: no PDF written").arg(m_bookId));
            endBook(BookOutcome::PagesMissing);
            return;
        }
    }

    void endBook(BookOutcome outcome)
    {
        m_outcomes << outcome;
        m_phase = Phase::Between;
        QTimer::singleShot(0, this, &HeadlessRun::nextBook);
    }

    void stopRequested(int signalNumber)
    {
        if (m_stopSignal)
            return;
        m_stopSignal = signalNumber;
        printLine(stderr, QStringLiteral("Stopped by signal %1: the pages stored are kept").arg(signalNumber));
        const bool running = m_phase == Phase::Running;
        m_phase = Phase::Stopping;
        m_openTimeout.stop();
        if (running)
            m_controller.Stop();
        // Closing the controller (in exec) stops a build under way at its next page and waits
        // for it: the earlier PDF stays, its part file goes.
        m_loop.quit();
    }

    const DownloadOptions &m_options;
    TCEFWindowParent m_host;
    TChromium m_browser;
    TePubobj m_book;
    QString m_pageScript;
    TDownloadController m_controller;
    StopSignals m_signals;
    QTimer m_openTimeout;
    QEventLoop m_loop;
    Phase m_phase = Phase::Between;
    QString m_bookId;
    bool m_failed = false;
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
