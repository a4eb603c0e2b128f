#include "consoletags.h"

ConsoleTag ClassifyConsoleText(const QString &text)
{
    if (text == QLatin1String("###end"))
        return ConsoleTag::End;
    // A page report starts with its tag, so this finds it at once however large it is.
    if (text.contains(QLatin1String("###page")))
        return ConsoleTag::Page;
    if (text.contains(QLatin1String("###title")))
        return ConsoleTag::Title;
    for (const char *tag : {"###Totaldiv", "###more=", "###pre=", "###bkimage"}) {
        if (text.contains(QLatin1String(tag)))
            return ConsoleTag::Ignored;
    }
    if (text.contains(QLatin1String("###totalpage")))
        return ConsoleTag::TotalPage;
    if (text.startsWith(QLatin1String("###scriptdone=")))
        return ConsoleTag::ScriptDone;
    return ConsoleTag::None;
}
