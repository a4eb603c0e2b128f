#include "chromium.h"

#include "browserpage.h"
#include "filefetch.h"
#include "popupwindow.h"
#include "windowparent.h"

#include <QTimer>
#include <csignal>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace {
int g_lastBrowserId = 0;

QString urlText(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded);
}
} // namespace

TChromium::TChromium(QWebEngineProfile *profile, QObject *parent) : IBrowser(parent), m_profile(profile)
{
}

TChromium::~TChromium()
{
    for (const auto &popup : std::as_const(m_popups))
        delete popup.data();
    delete m_view.data();
}

bool TChromium::CreateBrowser(TCEFWindowParent *host)
{
    if (!m_profile || !host || m_view)
        return false;
    m_browserId = ++g_lastBrowserId;
    m_view = new QWebEngineView(host);
    m_page = new TBrowserPage(m_profile, m_browserId, m_view);
    m_view->setPage(m_page);
    host->setBrowserWidget(m_view);
    connectPage(m_page);

    const int id = m_browserId;
    connect(m_view, &QObject::destroyed, this, [this, id] {
        if (m_browserId == id)
            m_browserId = 0;
        QTimer::singleShot(0, this, [this, id] { emit BeforeClose(id); });
    });
    QTimer::singleShot(0, this, [this, id] { emit AfterCreated(id); });
    return true;
}

void TChromium::connectPage(TBrowserPage *page)
{
    const int id = page->browserId();
    connect(page, &QWebEnginePage::loadFinished, this, [this, page, id](bool) {
        emit LoadEnd(id, true, urlText(page->url()));
    });
    connect(page, &QWebEnginePage::urlChanged, this, [this, id](const QUrl &url) {
        emit AddressChange(id, true, urlText(url));
    });
    connect(page, &QWebEnginePage::newWindowRequested, this,
            [this, page](QWebEngineNewWindowRequest &request) { onNewWindowRequested(page, request); });
    if (page != m_page)
        return;
    connect(page, &TBrowserPage::consoleMessage, this, &TChromium::ConsoleMessage);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (std::exchange(m_endingPageProcess, false))
                    return;
                switch (status) {
                case QWebEnginePage::NormalTerminationStatus:
                    emit PageProcessEnded(QStringLiteral("ended"));
                    return;
                case QWebEnginePage::AbnormalTerminationStatus:
                    emit PageProcessEnded(QStringLiteral("ended abnormally"));
                    return;
                case QWebEnginePage::CrashedTerminationStatus:
                    emit PageProcessEnded(QStringLiteral("crashed"));
                    return;
                case QWebEnginePage::KilledTerminationStatus:
                    emit PageProcessEnded(QStringLiteral("was killed"));
                    return;
                }
            });
}

void TChromium::onNewWindowRequested(TBrowserPage *source, QWebEngineNewWindowRequest &request)
{
    // A script's window.open() without an address opens "about:blank".
    QString target = urlText(request.requestedUrl());
    if (target.isEmpty())
        target = QStringLiteral("about:blank");
    bool cancel = false;
    emit BeforePopup(source->browserId(), target, &cancel);
    if (cancel || !m_profile)
        return;
    auto *popup = new TPopupWindow(m_profile, ++g_lastBrowserId);
    m_popups.append(popup);
    connectPage(popup->browserPage());
    request.openIn(popup->browserPage());
    popup->show();
}

bool TChromium::HasBrowser() const
{
    return m_browserId != 0 && m_page;
}

int TChromium::BrowserId() const
{
    return HasBrowser() ? m_browserId : 0;
}

QString TChromium::MainFrameUrl() const
{
    return HasBrowser() ? urlText(m_page->url()) : QString();
}

QString TChromium::Title() const
{
    return HasBrowser() ? m_page->title() : QString();
}

void TChromium::ExecuteJavaScript(const QString &code)
{
    if (HasBrowser())
        m_page->runJavaScript(code, QWebEngineScript::MainWorld);
}

void TChromium::FetchFile(const QString &url, int timeoutMs, FetchDone done)
{
    if (!HasBrowser()) {
        IBrowser::FetchFile(url, timeoutMs, std::move(done));
        return;
    }
    TFileFetch::Start(m_page, url, timeoutMs, std::move(done));
}

void TChromium::EndPageProcess()
{
    const qint64 pid = PageProcessId();
    m_endingPageProcess = pid > 0 && ::kill(pid_t(pid), SIGKILL) == 0;
}

qint64 TChromium::PageProcessId() const
{
    return HasBrowser() ? m_page->renderProcessPid() : 0;
}

TBrowserPage *TChromium::pageOf(int browserId) const
{
    if (browserId != 0 && browserId == BrowserId())
        return m_page;
    for (const auto &popup : m_popups) {
        if (popup && popup->browserPage()->browserId() == browserId)
            return popup->browserPage();
    }
    return nullptr;
}

void TChromium::LoadURL(const QString &url)
{
    LoadURLIn(BrowserId(), url);
}

void TChromium::LoadURLIn(int browserId, const QString &url)
{
    if (TBrowserPage *page = pageOf(browserId))
        page->load(QUrl(url));
}

void TChromium::GoBack()
{
    if (HasBrowser())
        m_page->triggerAction(QWebEnginePage::Back);
}

void TChromium::GoForward()
{
    if (HasBrowser())
        m_page->triggerAction(QWebEnginePage::Forward);
}

void TChromium::Reload()
{
    if (HasBrowser())
        m_page->triggerAction(QWebEnginePage::Reload);
}

void TChromium::SetFocus()
{
    if (m_view)
        m_view->setFocus();
}

void TChromium::CloseBrowser()
{
    for (const auto &popup : std::as_const(m_popups))
        delete popup.data();
    m_popups.clear();
    if (m_view)
        m_view->deleteLater();
}

int TChromium::PopupCount() const
{
    int count = 0;
    for (const auto &popup : m_popups)
        count += popup ? 1 : 0;
    return count;
}

QWebEngineView *TChromium::View() const
{
    return m_view;
}
