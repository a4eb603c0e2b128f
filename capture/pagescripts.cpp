#include "pagescripts.h"

QString TotalPageScript()
{
    return QStringLiteral("console.log(\"###totalpage=\"+QM.params.totalSeq);");
}

QString NextPageScript()
{
    return QStringLiteral("item = document.querySelector('button[aria-label=\"Next Page\"]');item.click();");
}
