#pragma once

#include <QObject>
#include <QSet>
#include <QString>

class QWebEngineDownloadRequest;
class QWebEngineProfile;

// Files the site offers for download (a link with the download attribute, a response sent as
// an attachment) in any page of the profile: each is saved into the download folder under the
// name the site suggests, numbered when a file of that name is there already (freefilename.h),
// never over an existing file nor through a symbolic link: the file is created before the
// engine writes to it. The folder is created when missing.
//
// Lives as long as the profile (its parent unless one is given).
class TSiteDownloads : public QObject
{
    Q_OBJECT
public:
    // folder: where files go; empty means the user's Downloads folder, looked up for each file.
    explicit TSiteDownloads(QWebEngineProfile *profile, const QString &folder = QString(), QObject *parent = nullptr);

    // The folder the next file goes to.
    QString Folder() const;

signals:
    // A file began to download under this name (numbered already).
    void Started(const QString &fileName);
    // It is complete at path.
    void Saved(const QString &path);
    // It was refused, cancelled or broken off; no complete file is at its name.
    void Failed(const QString &fileName, const QString &reason);

private:
    void onDownloadRequested(QWebEngineDownloadRequest *request);
    void onFinished(QWebEngineDownloadRequest *request);
    static void removeUnwritten(const QString &folder, const QString &name);

    QString m_folder;
    QSet<QString> m_writing; // names of files still being written, in the folder
};
