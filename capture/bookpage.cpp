#include "bookpage.h"

#include "pagefile.h"
#include "pageimage.h"
#include "vbooks.h"

#include <QFile>
#include <QFileInfo>

bool HasStoredPages(const TvBookobj &book)
{
    return QFile::exists(PageFilePath(book.dirid, 1));
}

bool IsPageStored(const TvBookobj &book, int page)
{
    // A file the build cannot read is no page: it is captured again. Read by its headers, a
    // fraction of a millisecond a page, as a run's start asks of every page of its range.
    const QString path = PageFilePath(book.dirid, page);
    return QFileInfo(path).size() > 0 && PageFileFault(path, PageReading::Headers).isEmpty();
}
