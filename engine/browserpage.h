#pragma once

#include <QWebEnginePage>

// A page that hands every console message on, whole, as a signal.
class TBrowserPage : public QWebEnginePage
{
    Q_OBJECT
public:
    TBrowserPage(QWebEngineProfile *profile, int browserId, QObject *parent = nullptr);

    int browserId() const { return m_browserId; }

signals:
    void consoleMessage(const QString &message);

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message,
                                  int lineNumber, const QString &sourceID) override;

private:
    int m_browserId;
};
