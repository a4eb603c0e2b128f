#pragma once

#include <QLockFile>
#include <QString>

// One process per profile. The browser's profile (sign-ins, cookies, cache) lies in the data
// folder and cannot be shared by two programs at once, so a process takes this lock before it
// touches the profile and holds it for its whole life. A second process is refused and told
// which process holds the profile; a lock left behind by a process that died is taken over.
class ProfileLock
{
public:
    // The lock of the profile in dataFolder: the file "profile.lock" there, beside "cef".
    explicit ProfileLock(const QString &dataFolder);
    ~ProfileLock();

    ProfileLock(const ProfileLock &) = delete;
    ProfileLock &operator=(const ProfileLock &) = delete;

    // Takes the lock without waiting. False when another process holds it, or the lock file
    // cannot be written; errorText() then says so, and nothing in the folder was changed.
    bool tryLock();
    bool isLocked() const { return m_lock.isLocked(); }

    // Why tryLock failed: "Another Quillmoor Downloader (process 1234) is using the profile in
    // <folder>", or why the lock could not be made.
    const QString &errorText() const { return m_error; }
    // The process that holds the profile, when tryLock found one; 0 otherwise.
    qint64 holderPid() const { return m_holder; }

    static QString LockFilePath(const QString &dataFolder);

private:
    QString m_folder;
    QLockFile m_lock;
    QString m_error;
    qint64 m_holder = 0;
};
