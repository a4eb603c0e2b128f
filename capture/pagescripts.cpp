#include "pagescripts.h"

QString TotalPageScript()
{
    return QStringLiteral("console.log(\"###book=\"+JSON.stringify({totalSeq: QM.params.totalSeq, title: document.title}));");
}

QString NextPageScript()
{
    return QStringLiteral("item = document.querySelector('button[aria-label=\"Next Page\"]');item.click();");
}

QString ScriptDoneProbe(quint64 sequence)
{
    return QStringLiteral("console.debug(\"###scriptdone=%1\");").arg(sequence);
}

QString ScriptNumberScript(quint64 sequence)
{
    return QStringLiteral("var QMscript=%1;").arg(sequence);
}
