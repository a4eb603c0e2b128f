#pragma once

#include <QString>
#include <QStringList>

class QWebEngineProfile;
class TMainfm;

// The program's window with a real browser, for tests against the test viewer site: one
// browser profile in the temporary HOME for the whole test, a new window per test function,
// and failures reported through the program's reporter recorded in errors.
class WindowFixture
{
public:
    // Once per test: the home page the window opens, folders, profile, error recorder.
    void setUp(const QString &homeUrl);
    void tearDown();

    // A new window, once its home page has loaded; false when that did not happen.
    bool openWindow();
    // Closes the window the two-step way (if not closed already) and deletes it.
    bool closeWindow();

    // Loads url into the main frame and waits for its load end.
    bool loadAndWait(const QString &url);
    // Types url into the address bar and presses Enter, as a user does.
    void typeAddress(const QString &url);

    TMainfm *window = nullptr;
    QWebEngineProfile *profile = nullptr;
    QStringList errors;

private:
    QString m_homeUrl;
};
