#include "consoletags.h"

#include "MyUtils.h"
#include "activitylog.h"
#include "apperror.h"
#include "runstate.h"

void HandleConsoleText(const QString &text)
{
    RunState &run = Run();
    if (text == QLatin1String("###end")) {
        run.ScriptEnded = true;
        return;
    }
    // A page report starts with its tag, so this finds it at once however large it is;
    // the report is copied once, from behind the "=".
    if (text.contains(QLatin1String("###page"))) {
        run.LastPageReport = TextAfterEquals(text);
        return;
    }
    if (text.contains(QLatin1String("###title"))) {
        AddLog(TextAfterEquals(text));
        return;
    }
    for (const char *tag : {"###Totaldiv", "###more=", "###pre=", "###bkimage"}) {
        if (text.contains(QLatin1String(tag)))
            return;
    }
    if (text.contains(QLatin1String("###totalpage"))) {
        int total = 0;
        try {
            total = IntAfterEquals(text);
        } catch (const AppError &) {
            return; // "undefined" from a viewer without a count: keep the count we have
        }
        run.TotalPages = total;
        AddLog(QString::asprintf("Total pages %d", total));
    }
}
