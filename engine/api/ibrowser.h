#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>

// The browser as the rest of the program uses it. The real one is TChromium (chromium.h);
// tests provide a scripted stand-in. Its signals arrive on the GUI thread, later than the
// call that caused them (the engine runs scripts and loads pages on its own).
class IBrowser : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~IBrowser() override = default;

    // Whether the browser exists (created and not yet closed).
    virtual bool HasBrowser() const = 0;
    // Identifier of the main browser, 0 when there is none. Pop-up windows have others.
    virtual int BrowserId() const = 0;
    // URL of the document in the main frame; empty without a browser.
    virtual QString MainFrameUrl() const = 0;
    // Title of the document in the main frame; empty without a browser or a title (and in
    // stand-ins that have no documents).
    virtual QString Title() const { return {}; }
    // Queues code to run in the main frame, in the page's own script world. Scripts run in
    // the order they were queued; their console output arrives later as ConsoleMessage, in
    // the order it was printed. Does nothing without a browser.
    virtual void ExecuteJavaScript(const QString &code) = 0;
    // Opens url in the main frame (the same address again reloads it). Does nothing without a
    // browser.
    virtual void LoadURL(const QString &url) = 0;

    // Downloads url through the browser itself (its profile's cookies and session, its cache
    // first) as the main page would, for a file the page's own scripts may not read (another
    // origin's image). done follows later with the file's bytes, or with why there are none.
    using FetchDone = std::function<void(const QByteArray &bytes, const QString &error)>;
    virtual void FetchFile(const QString &url, int timeoutMs, FetchDone done)
    {
        Q_UNUSED(url);
        Q_UNUSED(timeoutMs);
        QTimer::singleShot(0, this, [done = std::move(done)] { done({}, QStringLiteral("the browser cannot fetch files")); });
    }

    // Ends the process that renders the main page, one that stopped answering; a page loaded
    // then gets a new one. PageProcessEnded does not follow for it.
    virtual void EndPageProcess() {}

    // Whether an event of this browser id and frame concerns the main browser's main frame.
    bool IsOwnMainFrame(int browserId, bool isMainFrame) const
    {
        return browserId != 0 && browserId == BrowserId() && isMainFrame;
    }

signals:
    // A console message of the main browser's pages, whole however large.
    void ConsoleMessage(const QString &message);
    // The address of a frame changed (browser id, main frame or not, the new address).
    void AddressChange(int browserId, bool isMainFrame, const QString &url);
    // A frame finished loading a document.
    void LoadEnd(int browserId, bool isMainFrame, const QString &url);
    // The process that renders the main browser's pages ended (how: "crashed", "was killed",
    // ...): the page shows nothing and runs no script until it is loaded again.
    void PageProcessEnded(const QString &how);
};
