#include "libraryfolders.h"

#include "folders.h"

#include <QDir>
#include <QFileInfo>

QStringList PrivateLibraryFolders()
{
    const QString program = AppFolders().programFolder;
    if (program.isEmpty())
        return {};
    // QM_PRIVATE_LIBDIR: the installed library folder relative to the installed executable's.
    return {program, QDir::cleanPath(program + QStringLiteral(QM_PRIVATE_LIBDIR)) + QLatin1Char('/')};
}

QString FindPrivateLibrary(const QString &fileName)
{
    for (const QString &folder : PrivateLibraryFolders()) {
        const QFileInfo file(folder + fileName);
        if (file.isFile())
            return file.filePath();
    }
    return {};
}
