#pragma once

#include <QWebEngineView>

class TBrowserPage;
class QWebEngineProfile;

// A separate top-level browser window for a pop-up the page opened on "about:blank". It
// deletes itself when the user closes it.
class TPopupWindow : public QWebEngineView
{
    Q_OBJECT
public:
    TPopupWindow(QWebEngineProfile *profile, int browserId);

    TBrowserPage *browserPage() const { return m_page; }

private:
    TBrowserPage *m_page;
};
