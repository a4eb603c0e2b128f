#include "siteurls.h"

namespace {
QString &homeUrl()
{
    static QString url = QStringLiteral("https://www.quillmoor.org/");
    return url;
}
} // namespace

QString HomeUrl()
{
    return homeUrl();
}

void SetHomeUrl(const QString &url)
{
    homeUrl() = url;
}

QString HelpUrl()
{
    return QStringLiteral("https://www.brindlewick.com/download/help.php?id=55");
}

QString MakerSiteUrl()
{
    return QStringLiteral("https://www.brindlewick.com/");
}
