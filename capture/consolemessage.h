#pragma once

#include <QString>

// What a console message of the viewer page is, by the first tag that matches:
//   "###end" (the whole text)  -> the running page script has ended
//   "###end@<n>"               -> script n, which went on after its probe, has ended
//   "###pending=<n>"           -> script n goes on after its probe: its report and its end
//                                 come later, tagged with n ("###page@<n>=", "###end@<n>")
//   "###fault@<n>=<json>"      -> script n could not have the page's image: why, as JSON
//                                 ({"status": 503, "retryAfter": "40"} or {"error": "..."})
//   contains "###page"         -> a page report: the text after the first "=" (of script n
//                                 when it starts "###page@<n>=")
//   contains "###title"        -> a line for the activity log: the text after the first "="
//   contains "###Totaldiv", "###more=", "###pre=" or "###bkimage" -> taken, nothing done
//   contains "###book="        -> what the viewer tells of the book: a JSON record after "="
//   "###scriptdone=<n>"        -> the program's own probe: every script queued before it has
//                                 run and printed all it had to print
// Anything else is of no interest.
enum class ConsoleTag { None, End, Pending, Fault, Page, Title, Ignored, Book, ScriptDone };

// A console message read once: its tag, the script it names (0: none named, it belongs to the
// script running) and what it carries (the report, the fault, the record, the line).
struct ConsoleMessage
{
    ConsoleTag tag = ConsoleTag::None;
    quint64 script = 0;
    QString payload;
};

ConsoleMessage ReadConsoleMessage(const QString &text);
