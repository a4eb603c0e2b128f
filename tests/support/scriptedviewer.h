#pragma once

// A viewer page as the capture code sees it through the browser, scripted: it runs queued
// scripts one after the other, later, and prints their console messages in order, as the
// engine does. Pages are small PNGs that differ per book and page.

#include "apperror.h"
#include "bookidentity.h"
#include "ibrowser.h"
#include "pagefixtures.h"
#include "pagescripts.h"

#include <QImage>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>

// The page script the controllers under test are given; the viewer knows it by its text.
inline const QString PageScriptText = QStringLiteral("/* page script */");

class ScriptedViewer : public IBrowser
{
public:
    QString host = QStringLiteral("http://lib.test");
    QString bookId = QStringLiteral("book.a");
    int seq = 1;
    int total = 3;                        // printed as the page count
    QString countText;                    // the record's count as JSON text instead of total when set;
                                          // "undefined": the record has none
    int reportDelayMs = 5;                // how long the page takes to print its report
    int firstReportDelayMs = -1;          // the first capture's delay, when different
    std::function<bool(int attempt)> captureWorks = [](int) { return true; };
    std::function<bool(int attempt)> imageLoaded = [](int) { return true; }; // else a 0 x 0 canvas
    std::function<void()> duringCapture;  // runs while the page produces a report
    int leaveOnTurnFrom = 0;              // Next Page on this page opens another book
    int signInOnTurnFrom = 0;             // Next Page on this page finds the session expired
    QString otherPage;                    // the address of a page that is not the viewer
    bool goesOn = false;                  // the page script reports after its probe, as the real one
    QString reportMembers;                // further members of the report (",\"source\":\"site\"")
    QString reportedPage;                 // the report's page number instead of seq when set
    bool foreignImages = false;           // page images of another origin: reported by address, fetched
    bool pageInAddress = true;            // the viewer's address names the page on display
    // What capturing page seq does to the page's process: "" nothing, "kill" it ends, "hang" it
    // stops answering (until ended or the page loaded again).
    std::function<QString(int seq)> pageProcess = [](int) { return QString(); };
    bool exists = true;
    bool dead = false;                    // the page's process ended: no script runs until a load
    bool hung = false;                    // it stopped answering: likewise, until ended or a load
    int processesEnded = 0;               // by EndPageProcess
    int fetches = 0;

    int captures = 0;                     // page scripts run
    int lateOutputs = 0;                  // reports printed after their probe, by scripts that went on
    QStringList scripts;

    // Every script queued has run (what goes on after its probe may still print).
    bool idle() const { return m_queue.empty(); }

    QStringList loads;                    // addresses the program opened

    void EndPageProcess() override
    {
        ++processesEnded;
        hung = false;
        dead = true; // ended on purpose: not told
        m_queue.clear();
    }
    void FetchFile(const QString &url, int, FetchDone done) override
    {
        ++fetches;
        const int page = BookPageFromUrl(url);
        const QString book = bookId;
        QTimer::singleShot(reportDelayMs, this, [book, page, done = std::move(done)] { done(pagePng(book, page), QString()); });
    }

    bool HasBrowser() const override { return exists; }
    void LoadURL(const QString &url) override
    {
        loads << url;
        const int page = BookPageFromUrl(url);
        QString id;
        try {
            id = BookIdFromUrl(url);
        } catch (const AppError &) {
        }
        QTimer::singleShot(0, this, [this, page, id] {
            dead = hung = false; // a new process renders the page
            // A new document: what the old one was still running prints nothing more.
            ++m_document;
            m_queue.clear();
            otherPage.clear();
            if (!id.isEmpty())
                bookId = id;
            if (page > 0)
                seq = page;
            emit AddressChange(7, true, address());
            emit LoadEnd(7, true, address());
        });
    }
    int BrowserId() const override { return exists ? 7 : 0; }
    QString MainFrameUrl() const override { return exists ? address() : QString(); }
    QString address() const
    {
        if (!otherPage.isEmpty())
            return otherPage;
        const QString viewer = host + QStringLiteral("/cgi/pt?id=") + bookId;
        return pageInAddress ? viewer + QStringLiteral("&seq=%1").arg(seq) : viewer;
    }

    void ExecuteJavaScript(const QString &code) override
    {
        if (dead || hung)
            return;
        scripts << code;
        m_queue.push_back(code);
        if (m_queue.size() == 1)
            QTimer::singleShot(0, this, [this] { runNext(); });
    }

    static QByteArray pagePng(const QString &book, int page)
    {
        // Big enough to count as a page image (200 bytes and more), different per page.
        QImage image(60 + page, 40, QImage::Format_RGB32);
        const uint seed = qHash(book) + uint(page) * 2654435761u;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, qRgb((seed >> (x % 24)) & 0xFF, (x * y + page) & 0xFF, (y * 9 + seed) & 0xFF));
        return PageFixtures::encoded(image, "PNG");
    }

private:
    // A report of the page on display; one of an image not loaded yet holds an empty canvas.
    QString reportText(bool loaded = true) const
    {
        if (foreignImages)
            return QStringLiteral("{\"total\":%1,\"currpage\":\"%2\",\"source\":\"browser\",\"src\":\"http://images.test/img?seq=%2\"}")
                .arg(total)
                .arg(seq);
        const QString image = loaded ? QStringLiteral("data:image/png;base64,") + QString::fromLatin1(pagePng(bookId, seq).toBase64())
                                     : QStringLiteral("data:,");
        return QStringLiteral("{\"total\":%1,\"currpage\":\"%2\",\"img\":\"%3\"%4}").arg(total).arg(reportedPage.isNull() ? QString::number(seq) : reportedPage).arg(image, reportMembers);
    }

    // The page's process ends: queued scripts never run, and the program is told.
    void die(const QString &how)
    {
        if (dead)
            return;
        dead = true;
        m_queue.clear();
        QTimer::singleShot(0, this, [this, how] { emit PageProcessEnded(how); });
    }

    void runNext()
    {
        if (m_queue.empty() || dead || hung)
            return;
        const QString code = m_queue.front();
        if (code == PageScriptText) {
            const QString fate = pageProcess(seq);
            if (fate == QLatin1String("kill")) {
                ++captures;
                die(QStringLiteral("crashed"));
                return;
            }
            if (fate == QLatin1String("hang")) {
                ++captures;
                hung = true;
                m_queue.clear(); // nothing more runs, nothing is printed
                return;
            }
        }
        int delay = 0;
        QStringList messages;
        std::function<void()> after;
        if (code.startsWith(QLatin1String("var QMscript="))) {
            m_scriptNumber = code.mid(13).chopped(1);
        } else if (code == PageScriptText && goesOn) {
            // Says at once that it goes on; prints its report and tagged end later, after
            // the probe queued behind it.
            const int attempt = ++captures;
            const QString number = m_scriptNumber;
            messages << QStringLiteral("###pending=") + number;
            QStringList later;
            if (captureWorks(attempt))
                later << QStringLiteral("###page@%1=").arg(number) + reportText(imageLoaded(attempt));
            later << QStringLiteral("###end@") + number;
            QTimer::singleShot(reportDelayMs, this, [this, later, document = m_document] {
                if (document != m_document)
                    return;
                for (const QString &m : later)
                    emit ConsoleMessage(m);
                ++lateOutputs;
            });
        } else if (code == PageScriptText) {
            const int attempt = ++captures;
            delay = attempt == 1 && firstReportDelayMs >= 0 ? firstReportDelayMs : reportDelayMs;
            if (captureWorks(attempt)) {
                messages << QStringLiteral("###page=") + reportText(imageLoaded(attempt)) << QStringLiteral("[object Object]") << QStringLiteral("###end");
            }
            if (duringCapture)
                QTimer::singleShot(delay / 2, this, duringCapture);
        } else if (code == TotalPageScript()) {
            const QString count = countText.isNull() ? QString::number(total) : countText;
            messages << (count == QLatin1String("undefined") ? QStringLiteral("###book={\"title\":\"Book\"}")
                                                              : QStringLiteral("###book={\"totalSeq\":%1,\"title\":\"Book\"}").arg(count));
        } else if (code == NextPageScript()) {
            after = [this] { turn(); };
        } else if (code.startsWith(QLatin1String("console.debug(\"###scriptdone="))) {
            messages << code.section(QLatin1Char('"'), 1, 1);
        }
        QTimer::singleShot(delay, this, [this, messages, after, document = m_document] {
            if (dead || hung || m_queue.empty() || document != m_document)
                return; // the page went meanwhile, with what it had to print
            for (const QString &m : messages)
                emit ConsoleMessage(m);
            if (after)
                after();
            m_queue.pop_front();
            runNext();
        });
    }

    void turn()
    {
        if (signInOnTurnFrom && seq == signInOnTurnFrom) {
            otherPage = host + QStringLiteral("/login?return=book");
            emit AddressChange(7, true, address());
            emit LoadEnd(7, true, address());
            return;
        }
        if (leaveOnTurnFrom && seq == leaveOnTurnFrom) {
            bookId = QStringLiteral("book.other");
            seq = 1;
            emit AddressChange(7, true, address());
            emit LoadEnd(7, true, address());
            return;
        }
        if (seq >= total)
            return; // the button does nothing on the last page
        ++seq;
        emit AddressChange(7, true, address()); // the viewer's address follows the page
    }

    std::deque<QString> m_queue;
    int m_document = 0; // documents loaded so far
    QString m_scriptNumber;
};
