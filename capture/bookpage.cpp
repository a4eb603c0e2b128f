#include "bookpage.h"

#include "pagefile.h"
#include "vbooks.h"

#include <QFile>

bool HasStoredPages(const TvBookobj &book)
{
    return QFile::exists(PageFilePath(book.dirid, 1));
}
