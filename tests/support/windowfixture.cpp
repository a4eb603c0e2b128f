#include "windowfixture.h"

#include "MainUnit.h"
#include "chromium.h"
#include "downloadcontroller.h"
#include "engineprofile.h"
#include "errorreport.h"
#include "folders.h"
#include "logmemo.h"
#include "siteurls.h"
#include "vbooks.h"
#include "viewersite.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineProfile>

namespace {
constexpr int LoadTimeoutMs = 20000;

// Waits until done() or the timeout. Events are handled as QTest::qWait handles them, events
// posted meanwhile included: the browser engine chains its work through posted events, which
// a wait that sleeps between rounds of events holds up round by round.
template<typename F>
bool waitUntil(F done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool waitForLoadEnd(QSignalSpy &loaded, const QString &url)
{
    return waitUntil([&] { return !loaded.isEmpty() && loaded.last().at(2).toString() == url; }, LoadTimeoutMs);
}
} // namespace

bool WindowFixture::startSite()
{
    site = new ViewerSite(this);
    return site->start();
}

void WindowFixture::setUp()
{
    SetHomeUrl(site->homeUrl());
    SetupFolders();
    profile = CreateEngineProfile(AppFolders().dataFolder + QStringLiteral("cef/cache"));
    SetErrorReporter([this](const QString &message) { errors << message; });
    QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openFolder");
}

void WindowFixture::tearDown()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    SetErrorReporter(nullptr);
    delete profile;
    profile = nullptr;
}

bool WindowFixture::openWindow()
{
    errors.clear();
    openedFolders.clear();
    window = new TMainfm(profile);
    QSignalSpy loaded(window->chm, &TChromium::LoadEnd); // the home page is asked for later
    return waitForLoadEnd(loaded, site->homeUrl());
}

bool WindowFixture::closeWindow()
{
    if (!window)
        return true;
    if (window->Controller->Working())
        window->stopbtnClick();
    if (!window->canClose())
        window->close();
    const bool closed = waitUntil([this] { return window->canClose(); }, LoadTimeoutMs);
    delete window;
    window = nullptr;
    return closed;
}

bool WindowFixture::loadAndWait(const QString &url)
{
    QSignalSpy loaded(window->chm, &TChromium::LoadEnd);
    window->chm->LoadURL(url);
    return waitForLoadEnd(loaded, url);
}

void WindowFixture::typeAddress(const QString &url)
{
    window->addressed->setText(url);
    QTest::keyClick(window->addressed, Qt::Key_Return);
}

bool WindowFixture::openViewer(const QString &id, int seq, int total)
{
    typeAddress(site->viewerUrl(id, seq));
    // The log tells the book and its count, and nothing else.
    const QStringList told{QString(), QStringLiteral("Ready to download"), id, QString::asprintf("Total pages %d", total)};
    return waitUntil([&] { return lines() == told; }, LoadTimeoutMs) && window->downloadbtn->isEnabled();
}

bool WindowFixture::capturePage(CaptureResult *result, QString *report)
{
    bool done = false;
    if (report)
        report->clear();
    const QMetaObject::Connection console = connect(window->chm, &IBrowser::ConsoleMessage, this, [report](const QString &text) {
        if (report && text.startsWith(QLatin1String("###page")))
            *report = text.mid(text.indexOf(QLatin1Char('=')) + 1);
    });
    window->Controller->savepage([&](const CaptureResult &outcome) {
        *result = outcome;
        done = true;
    });
    const bool came = waitUntil([&] { return done; }, 90000);
    disconnect(console);
    return came;
}

void WindowFixture::runFast(int tickMs)
{
    window->Controller->SetTickInterval(tickMs);
}

bool WindowFixture::waitForEnd(int timeoutMs)
{
    return waitUntil([this] { return lines().contains(QStringLiteral("download end.")); }, timeoutMs);
}

QStringList WindowFixture::lines() const
{
    return window->Memo1->lines();
}

QString WindowFixture::log() const
{
    return lines().join(QLatin1Char('|'));
}
