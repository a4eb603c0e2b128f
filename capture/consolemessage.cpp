#include "consolemessage.h"

#include "protocoltext.h"

namespace {

// The digits after a tag such as "###end@", up to the end or the "=" that starts the payload.
quint64 scriptNumber(const QString &text, qsizetype at)
{
    const QStringView rest = QStringView(text).mid(at, 24);
    qsizetype digits = 0;
    while (digits < rest.size() && rest.at(digits).isDigit())
        ++digits;
    return rest.left(digits).toULongLong();
}

ConsoleTag tagOf(const QString &text)
{
    if (text == QLatin1String("###end") || text.startsWith(QLatin1String("###end@")))
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
    if (text.contains(QLatin1String("###book=")))
        return ConsoleTag::Book;
    if (text.startsWith(QLatin1String("###scriptdone=")))
        return ConsoleTag::ScriptDone;
    return ConsoleTag::None;
}

} // namespace

ConsoleMessage ReadConsoleMessage(const QString &text)
{
    ConsoleMessage message;
    message.tag = tagOf(text);
    switch (message.tag) {
    case ConsoleTag::End:
        if (text.size() > 6)
            message.script = scriptNumber(text, 7);
        break;
    case ConsoleTag::Pending:
        message.script = scriptNumber(text, 11);
        break;
    case ConsoleTag::ScriptDone:
        message.script = scriptNumber(text, 14);
        break;
    case ConsoleTag::Fault:
    case ConsoleTag::Page:
        for (const QLatin1String tag : {QLatin1String("###page@"), QLatin1String("###fault@")}) {
            if (text.startsWith(tag))
                message.script = scriptNumber(text, tag.size());
        }
        message.payload = TextAfterEquals(text);
        break;
    case ConsoleTag::Title:
    case ConsoleTag::Book:
        message.payload = TextAfterEquals(text);
        break;
    case ConsoleTag::Ignored:
    case ConsoleTag::None:
        break;
    }
    return message;
}
