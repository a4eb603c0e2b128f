#include "browserpage.h"

TBrowserPage::TBrowserPage(QWebEngineProfile *profile, int browserId, QObject *parent)
    : QWebEnginePage(profile, parent), m_browserId(browserId)
{
}

void TBrowserPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message,
                                            int, const QString &)
{
    emit consoleMessage(message);
}
