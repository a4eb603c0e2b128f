#pragma once

#include <QString>

// What a console message of the viewer page is, by the first tag that matches:
//   "###end" (the whole text)  -> the running page script has ended
//   "###end@<n>"               -> script n, which went on after its probe, has ended
//   "###pending=<n>"           -> script n goes on after its probe: its report and its end
//                                 come later, tagged with n ("###page@<n>=", "###end@<n>")
//   contains "###page"         -> a page report: the text after the first "=" (of script n
//                                 when it starts "###page@<n>=")
//   contains "###title"        -> a line for the activity log: the text after the first "="
//   contains "###Totaldiv", "###more=", "###pre=" or "###bkimage" -> taken, nothing done
//   contains "###totalpage"    -> the book's page count
//   "###scriptdone=<n>"        -> the program's own probe: every script queued before it has
//                                 run and printed all it had to print
// Anything else is of no interest.
enum class ConsoleTag { None, End, Pending, Page, Title, Ignored, TotalPage, ScriptDone };

ConsoleTag ClassifyConsoleText(const QString &text);

// The script a tagged end marker or page report names ("###end@<n>", "###page@<n>="); 0 for
// untagged ones, which belong to the script running.
quint64 ConsoleTextScript(const QString &text);
