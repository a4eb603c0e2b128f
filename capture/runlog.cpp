#include "runlog.h"

#include "activitylog.h"

void ShowLogLine(LogEdit edit, const QString &text)
{
    switch (edit) {
    case LogEdit::Add:
        AddLog(text);
        return;
    case LogEdit::ReplaceLast:
        SetLastLog(text);
        return;
    case LogEdit::Clear:
        ClearLog(text);
        return;
    }
}
