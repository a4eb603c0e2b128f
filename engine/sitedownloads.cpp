#include "sitedownloads.h"

#include "filefetch.h"
#include "freefilename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    // A file the program asked for itself, taken elsewhere.
    if (request->state() != QWebEngineDownloadRequest::DownloadRequested || TFileFetch::IsProgramFetch(request))
        return;
    const QString folder = Folder();
    QString name = request->suggestedFileName();
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        request->cancel();
        emit Failed(name, QStringLiteral("cannot create the folder %1").arg(folder));
        return;
    }
    // Names of files still being written count as taken: the engine may not have created
    // them yet when a second file of the same name comes. The file is made here, exclusively,
    // so the engine writes to a file of ours: never through a symbolic link at that name, nor
    // over a file that came after the check.
    QString error;
    const QString suggested = name;
    name = CreateFreeFile(folder, name, [&](const QString &n) { return FileNameTaken(folder, n, m_writing); }, &error);
    if (name.isEmpty()) {
        request->cancel();
        emit Failed(suggested, QStringLiteral("cannot create a file in %1: %2").arg(folder, error));
        return;
    }
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
        removeUnwritten(request->downloadDirectory(), name);
        emit Failed(name, QStringLiteral("cancelled"));
        break;
    default:
        removeUnwritten(request->downloadDirectory(), name);
        emit Failed(name, request->interruptReasonString());
        break;
    }
}

void TSiteDownloads::removeUnwritten(const QString &folder, const QString &name)
{
    // The empty file made for a download that never came; anything else there is left alone.
    const QFileInfo info(QDir(folder).filePath(name));
    if (info.isFile() && !info.isSymLink() && info.size() == 0)
        QFile::remove(info.filePath());
}
