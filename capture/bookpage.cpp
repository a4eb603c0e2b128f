#include "bookpage.h"

#include "pagefile.h"
#include "vbooks.h"

#include <QFile>

bool IsBookViewerUrl(const QString &url)
{
    return url.contains(QLatin1String("/cgi/pt?id="));
}

bool HasStoredPages(const TvBookobj &book)
{
    return QFile::exists(PageFilePath(book.dirid, 1));
}
