#include "folders.h"

#include "makefolder.h"

#include <QCoreApplication>

namespace {
Folders g_folders;

QString withSlash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}
} // namespace

const Folders &AppFolders()
{
    return g_folders;
}

void SetupProgramFolder()
{
    g_folders.programFolder = withSlash(QCoreApplication::applicationDirPath());
}

void SetupFolders()
{
    SetupProgramFolder();
    g_folders.dataFolder = MakeUserFolder(QStringLiteral("Quillmoor Downloader"));
    g_folders.workFolder = withSlash(g_folders.dataFolder) + QStringLiteral("tmp");
    EnsureFolder(g_folders.workFolder);
}
