#include "sitedownloads.h"

#include "freefilename.h"

#include <QDir>
#include <QStandardPaths>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

TSiteDownloads::TSiteDownloads(QWebEngineProfile *profile, const QString &folder, QObject *parent)
    : QObject(parent ? parent : profile), m_folder(folder)
{
    connect(profile, &QWebEngineProfile::downloadRequested, this, &TSiteDownloads::onDownloadRequested);
}

QString TSiteDownloads::Folder() const
{
    return m_folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::DownloadLocation) : m_folder;
}

void TSiteDownloads::onDownloadRequested(QWebEngineDownloadRequest *request)
{
    const QString folder = Folder();
    QString name = request->suggestedFileName();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        request->cancel();
        emit Failed(name, QStringLiteral("cannot create the folder %1").arg(folder));
        return;
    }
    // Names of files still being written count as taken: the engine may not have created
    // them yet when a second file of the same name comes.
    name = FreeFileName(folder, name, m_writing);
    m_writing.insert(name);
    request->setDownloadDirectory(folder);
    request->setDownloadFileName(name);
    connect(request, &QWebEngineDownloadRequest::isFinishedChanged, this, [this, request] { onFinished(request); });
    request->accept();
    emit Started(name);
}

void TSiteDownloads::onFinished(QWebEngineDownloadRequest *request)
{
    if (!request->isFinished())
        return;
    const QString name = request->downloadFileName();
    m_writing.remove(name);
    switch (request->state()) {
    case QWebEngineDownloadRequest::DownloadCompleted:
        emit Saved(QDir(request->downloadDirectory()).filePath(name));
        break;
    case QWebEngineDownloadRequest::DownloadCancelled:
        emit Failed(name, QStringLiteral("cancelled"));
        break;
    default:
        emit Failed(name, request->interruptReasonString());
        break;
    }
}
