#include "bookpage.h"

#include "pagefile.h"
#include "vbooks.h"

#include <QFile>
#include <QFileInfo>

bool HasStoredPages(const TvBookobj &book)
{
    return QFile::exists(PageFilePath(book.dirid, 1));
}

bool IsPageStored(const TvBookobj &book, int page)
{
    return QFileInfo(PageFilePath(book.dirid, page)).size() > 0;
}

int FirstMissingPage(const TvBookobj &book, int from, int last)
{
    for (int page = qMax(1, from); last <= 0 || page <= last; ++page) {
        if (!IsPageStored(book, page))
            return page;
        if (page >= MaxBookPages)
            return 0;
    }
    return 0;
}
