#include "pagefile.h"

#include "folders.h"

QString PageFileName(int page)
{
    return QString::asprintf("%.4d.jpg", page);
}

QString PageFolderPath(const QString &dirid)
{
    QString work = AppFolders().workFolder;
    if (!work.endsWith(QLatin1Char('/')))
        work += QLatin1Char('/');
    return work + dirid + QLatin1Char('/');
}

QString PageFilePath(const QString &dirid, int page)
{
    return PageFolderPath(dirid) + PageFileName(page);
}
