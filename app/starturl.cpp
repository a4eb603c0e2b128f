#include "starturl.h"

#include <utility>

namespace {
QString g_startUrl;
}

void SetStartUrl(const QString &url)
{
    g_startUrl = url;
}

QString TakeStartUrl()
{
    return std::exchange(g_startUrl, QString());
}
