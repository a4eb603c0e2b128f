#pragma once

#include <QString>

// What a console message of the viewer page is, by the first tag that matches:
//   "###end" (the whole text)  -> the running page script has ended
//   contains "###page"         -> a page report: the text after the first "="
//   contains "###title"        -> a line for the activity log: the text after the first "="
//   contains "###Totaldiv", "###more=", "###pre=" or "###bkimage" -> taken, nothing done
//   contains "###totalpage"    -> the book's page count
//   "###scriptdone=<n>"        -> the program's own probe: every script queued before it has
//                                 run and printed all it had to print
// Anything else is of no interest.
enum class ConsoleTag { None, End, Page, Title, Ignored, TotalPage, ScriptDone };

ConsoleTag ClassifyConsoleText(const QString &text);
