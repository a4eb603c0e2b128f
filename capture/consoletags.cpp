#include "consoletags.h"

ConsoleTag ClassifyConsoleText(const QString &text)
{
    if (text == QLatin1String("###end"))
        return ConsoleTag::End;
    if (text.startsWith(QLatin1String("###end@")))
        return ConsoleTag::End;
    if (text.startsWith(QLatin1String("###pending=")))
        return ConsoleTag::Pending;
    if (text.startsWith(QLatin1String("###fault")))
        return ConsoleTag::Fault;
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

quint64 ConsoleTextScript(const QString &text)
{
    for (const QLatin1String tag : {QLatin1String("###end@"), QLatin1String("###page@"), QLatin1String("###fault@")}) {
        if (!text.startsWith(tag))
            continue;
        // Digits up to the end or the "=" that starts the report.
        const QStringView rest = QStringView(text).mid(tag.size(), 24);
        qsizetype digits = 0;
        while (digits < rest.size() && rest.at(digits).isDigit())
            ++digits;
        return rest.left(digits).toULongLong();
    }
    return 0;
}
