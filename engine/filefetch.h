#pragma once

#include "ibrowser.h"

#include <QObject>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

class QWebEngineDownloadRequest;
class QWebEnginePage;

// One file the program asks the browser to download for it, as the page would (the profile's
// cookies and session, its cache first): an image of another origin that the page's scripts may
// not read. The browser writes it to a folder of its own, from which its bytes are read and the
// file removed. Deletes itself once done has been called.
class TFileFetch : public QObject
{
    Q_OBJECT
public:
    static void Start(QWebEnginePage *page, const QString &url, int timeoutMs, IBrowser::FetchDone done);

    // Whether the profile's download request is one the program asked for itself (and not a
    // file the site offers). GUI thread only.
    static bool IsProgramFetch(const QWebEngineDownloadRequest *request);

private:
    TFileFetch(QWebEnginePage *page, const QString &url, IBrowser::FetchDone done);
    ~TFileFetch() override;
    void requested(QWebEngineDownloadRequest *request);
    void finished();
    void end(const QByteArray &bytes, const QString &error);

    QString m_url;
    IBrowser::FetchDone m_done;
    QTemporaryDir m_folder;
    QTimer m_deadline;
    QPointer<QWebEngineDownloadRequest> m_request;
};
