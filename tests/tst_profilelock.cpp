#include "profilelock.h"
#include "testenv.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstring>

// One process per profile, with real second processes: this test program run again in a helper
// mode that holds or tries the lock of a given folder.
class TestProfileLock : public QObject
{
    Q_OBJECT
private slots:
    void otherProcessHolds_data();
    void otherProcessHolds();
    void secondProcessRefused();
    void folderCannotBeWritten();
};

namespace {

const char HoldMode[] = "--hold-profile";
const char TryMode[] = "--try-profile";
const QString HeldLine = QStringLiteral("held");

// The helper modes: hold the lock until standard input closes, or try it once and say why not.
int runHelper(const char *mode, const char *folder)
{
    ProfileLock lock(QString::fromLocal8Bit(folder));
    const bool locked = lock.tryLock();
    std::printf("%s\n", locked ? "held" : lock.errorText().toLocal8Bit().constData());
    std::fflush(stdout);
    if (!locked)
        return 3;
    if (std::strcmp(mode, HoldMode) == 0) {
        while (std::getchar() != EOF) {
        }
    }
    return 0;
}

// A helper process holding the lock of folder, once it has said so.
bool startHolder(QProcess &process, const QString &folder)
{
    process.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(HoldMode), folder});
    if (!process.waitForStarted() || !process.waitForReadyRead())
        return false;
    return QString::fromLocal8Bit(process.readLine()).trimmed() == HeldLine;
}

QStringList listing(const QString &folder)
{
    QStringList lines;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        lines << QStringLiteral("%1 %2 %3").arg(info.filePath()).arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
    }
    lines.sort();
    return lines;
}

} // namespace

void TestProfileLock::otherProcessHolds_data()
{
    QTest::addColumn<QString>("holder");
    QTest::addColumn<bool>("taken");

    QTest::newRow("no other process") << "none" << true;
    QTest::newRow("another process holds it") << "running" << false;
    QTest::newRow("another process has held it for an hour") << "running long" << false;
    QTest::newRow("the other process was killed") << "killed" << true;
    QTest::newRow("the other process ended") << "ended" << true;
}

void TestProfileLock::otherProcessHolds()
{
    QFETCH(QString, holder);
    QFETCH(bool, taken);

    QTemporaryDir folder;
    QProcess other;
    if (holder != QLatin1String("none")) {
        QVERIFY(startHolder(other, folder.path()));
        QVERIFY(QFile::exists(ProfileLock::LockFilePath(folder.path())));
    }
    if (holder == QLatin1String("running long")) {
        // A lock is held for a program's whole life: its age must not make it look abandoned.
        QFile lockFile(ProfileLock::LockFilePath(folder.path()));
        QVERIFY(lockFile.open(QIODevice::ReadWrite));
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        lockFile.close();
        QVERIFY(QFileInfo(lockFile.fileName()).lastModified() < QDateTime::currentDateTime().addSecs(-1800));
    } else if (holder == QLatin1String("killed")) {
        other.kill(); // SIGKILL: no chance to remove its lock file
        QVERIFY(other.waitForFinished());
        QVERIFY(QFile::exists(ProfileLock::LockFilePath(folder.path())));
    } else if (holder == QLatin1String("ended")) {
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished());
        QCOMPARE(other.exitCode(), 0);
        QVERIFY(!QFile::exists(ProfileLock::LockFilePath(folder.path())));
    }

    ProfileLock lock(folder.path() + QLatin1Char('/'));
    QCOMPARE(lock.tryLock(), taken);
    QCOMPARE(lock.isLocked(), taken);
    if (taken) {
        QCOMPARE(lock.errorText(), QString());
        QCOMPARE(lock.holderPid(), 0);
    } else {
        QCOMPARE(lock.holderPid(), other.processId());
        QCOMPARE(lock.errorText(), QStringLiteral("Another Quillmoor Downloader (process %1) is using the profile in %2")
                                       .arg(other.processId())
                                       .arg(folder.path()));
    }
    if (other.state() != QProcess::NotRunning) {
        other.closeWriteChannel();
        QVERIFY(other.waitForFinished());
    }
}

void TestProfileLock::secondProcessRefused()
{
    QTemporaryDir folder;
    QVERIFY(QDir(folder.path()).mkpath(QStringLiteral("cef/cache")));
    QFile cookies(folder.filePath(QStringLiteral("cef/cache/Cookies")));
    QVERIFY(cookies.open(QIODevice::WriteOnly));
    cookies.write("signed in");
    cookies.close();

    ProfileLock lock(folder.path());
    QVERIFY(lock.tryLock());
    const QStringList before = listing(folder.path());

    QProcess second;
    second.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(TryMode), folder.path()});
    QVERIFY(second.waitForFinished());
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 3);
    QCOMPARE(QString::fromLocal8Bit(second.readAllStandardOutput()).trimmed(),
             QStringLiteral("Another Quillmoor Downloader (process %1) is using the profile in %2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(folder.path()));
    QCOMPARE(listing(folder.path()), before);
    QVERIFY(lock.isLocked());
}

void TestProfileLock::folderCannotBeWritten()
{
    QTemporaryDir folder;
    const QString notAFolder = folder.filePath(QStringLiteral("file"));
    QFile file(notAFolder);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    ProfileLock lock(notAFolder);
    QVERIFY(!lock.tryLock());
    QCOMPARE(lock.holderPid(), 0);
    QCOMPARE(lock.errorText(), QStringLiteral("The profile in %1 cannot be locked").arg(notAFolder));
}

int main(int argc, char *argv[])
{
    if (argc == 3 && (std::strcmp(argv[1], HoldMode) == 0 || std::strcmp(argv[1], TryMode) == 0)) {
        QCoreApplication app(argc, argv);
        return runHelper(argv[1], argv[2]);
    }
    TestEnv::useTemporaryHome();
    QApplication app(argc, argv);
    TestProfileLock tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}

#include "tst_profilelock.moc"
