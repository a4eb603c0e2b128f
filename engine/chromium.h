#pragma once

#include "ibrowser.h"

#include <QList>
#include <QObject>
#include <QPointer>

class QWebEngineNewWindowRequest;
class QWebEngineProfile;
class QWebEngineView;
class TBrowserPage;
class TCEFWindowParent;
class TPopupWindow;

// The browser component of the main window: one browser shown in a host panel, plus the
// pop-up windows its pages open. The window and the capture code talk to the browser only
// through this class. Every browser gets an identifier (never 0); 0 means "no browser".
//
// Signals arrive on the GUI thread. AfterCreated and BeforeClose are queued, so a handler
// never runs inside the call that caused it.
class TChromium : public IBrowser
{
    Q_OBJECT
public:
    explicit TChromium(QWebEngineProfile *profile, QObject *parent = nullptr);
    ~TChromium() override;

    // Creates the browser inside host, with no page loaded. False without a profile or when
    // a browser exists already.
    bool CreateBrowser(TCEFWindowParent *host);

    bool HasBrowser() const override;
    QString MainFrameUrl() const override;
    QString Title() const override;
    void ExecuteJavaScript(const QString &code) override;
    void FetchFile(const QString &url, int timeoutMs, FetchDone done) override;
    void EndPageProcess() override;
    // The process that renders the main page; 0 when none runs.
    qint64 PageProcessId() const;

    int BrowserId() const override;

    // Loads url, exactly as given, into the main frame; nothing without a browser.
    void LoadURL(const QString &url) override;
    // Loads url into the main frame of the browser with this identifier (main or pop-up).
    void LoadURLIn(int browserId, const QString &url);
    void GoBack();
    void GoForward();
    void Reload();
    void SetFocus();

    // Closes every browser: pop-up windows at once, the main browser right after.
    // BeforeClose follows once the main browser is gone.
    void CloseBrowser();

    // Pop-up windows now open.
    int PopupCount() const;
    QWebEngineView *View() const;

signals:
    void AfterCreated(int browserId);
    void BeforeClose(int browserId);
    // A page asks for a new window. A handler sets *cancel to keep it from opening.
    void BeforePopup(int browserId, const QString &targetUrl, bool *cancel);

private:
    void onNewWindowRequested(TBrowserPage *source, QWebEngineNewWindowRequest &request);
    void connectPage(TBrowserPage *page);
    TBrowserPage *pageOf(int browserId) const;

    QPointer<QWebEngineProfile> m_profile;
    QPointer<QWebEngineView> m_view;
    QPointer<TBrowserPage> m_page;
    QList<QPointer<TPopupWindow>> m_popups;
    int m_browserId = 0;
    bool m_endingPageProcess = false; // ended on purpose: not told
};
