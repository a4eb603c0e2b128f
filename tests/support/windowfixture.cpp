#include "windowfixture.h"

#include "MainUnit.h"
#include "chromium.h"
#include "engineprofile.h"
#include "errorreport.h"
#include "folders.h"
#include "siteurls.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineProfile>

namespace {
constexpr int LoadTimeoutMs = 20000;

// Waits in short event-processing slices, as QTRY_VERIFY does, until done() or the timeout.
template<typename F>
bool waitFor(F done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > LoadTimeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool waitForLoadEnd(QSignalSpy &loaded, const QString &url)
{
    return waitFor([&] { return !loaded.isEmpty() && loaded.last().at(2).toString() == url; });
}
} // namespace

void WindowFixture::setUp(const QString &homeUrl)
{
    m_homeUrl = homeUrl;
    SetHomeUrl(homeUrl);
    SetupFolders();
    profile = CreateEngineProfile(AppFolders().dataFolder + QStringLiteral("cef/cache"));
    SetErrorReporter([this](const QString &message) { errors << message; });
}

void WindowFixture::tearDown()
{
    SetErrorReporter(nullptr);
    delete profile;
    profile = nullptr;
}

bool WindowFixture::openWindow()
{
    errors.clear();
    window = new TMainfm(profile);
    QSignalSpy loaded(window->chm, &TChromium::LoadEnd); // the home page is asked for later
    return waitForLoadEnd(loaded, m_homeUrl);
}

bool WindowFixture::closeWindow()
{
    if (!window)
        return true;
    if (!window->canClose())
        window->close();
    const bool closed = waitFor([this] { return window->canClose(); });
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
