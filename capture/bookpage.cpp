#include "bookpage.h"

#include "activitylog.h"
#include "pagefile.h"
#include "runstate.h"
#include "vbooks.h"

#include <QFile>

LoadEndResult Loadendhandle(const QString &url)
{
    RunState &run = Run();
    run.TickCount = 0;
    if (run.Working)
        return LoadEndResult::Unchanged;
    if (url.contains(QLatin1String("/cgi/pt?id="))) {
        ClearLog(QString());
        AddLog(QStringLiteral("Ready to download"));
        return LoadEndResult::BookPage;
    }
    return LoadEndResult::OtherPage;
}

bool HasStoredPages(const TvBookobj &book)
{
    return QFile::exists(PageFilePath(book.dirid, 1));
}
