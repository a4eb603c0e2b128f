#pragma once

#include <QString>

// Reads one console message of the viewer page and applies the first tag that matches:
//   "###end" (the whole text)  -> the running script has ended
//   contains "###page"         -> the page report: the text after the first "="
//   contains "###title"        -> the text after the first "=" goes to the activity log
//   contains "###Totaldiv", "###more=", "###pre=" or "###bkimage" -> taken, nothing done
//   contains "###totalpage"    -> the book's page count, logged as "Total pages %d"
// Anything else is ignored. A page count that is no number leaves the count as it was.
void HandleConsoleText(const QString &text);
