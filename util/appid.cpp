#include "appid.h"

QString AppId()
{
    return QStringLiteral(QM_APP_ID);
}
