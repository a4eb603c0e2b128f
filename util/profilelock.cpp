#include "profilelock.h"

#include <QDir>

ProfileLock::ProfileLock(const QString &dataFolder)
    : m_folder(QDir::toNativeSeparators(QDir::cleanPath(dataFolder))), m_lock(LockFilePath(dataFolder))
{
    // Held for the program's life, so its age says nothing: only a holder that is gone (or
    // whose process number now belongs to another program) makes the lock stale.
    m_lock.setStaleLockTime(0);
}

ProfileLock::~ProfileLock() = default; // the lock file goes with the QLockFile

QString ProfileLock::LockFilePath(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("profile.lock"));
}

bool ProfileLock::tryLock()
{
    m_error.clear();
    m_holder = 0;
    if (m_lock.isLocked() || m_lock.tryLock(0))
        return true;
    switch (m_lock.error()) {
    case QLockFile::LockFailedError: {
        QString hostName;
        QString appName;
        if (m_lock.getLockInfo(&m_holder, &hostName, &appName)) {
            m_error = QStringLiteral("Another Quillmoor Downloader (process %1) is using the profile in %2")
                          .arg(m_holder)
                          .arg(m_folder);
        } else {
            // Its holder is still writing the file, or made it in a way not known here.
            m_holder = 0;
            m_error = QStringLiteral("Another Quillmoor Downloader is using the profile in %1").arg(m_folder);
        }
        break;
    }
    case QLockFile::PermissionError:
        m_error = QStringLiteral("The profile in %1 cannot be locked: the folder cannot be written").arg(m_folder);
        break;
    case QLockFile::NoError:
    case QLockFile::UnknownError:
        m_error = QStringLiteral("The profile in %1 cannot be locked").arg(m_folder);
        break;
    }
    return false;
}
