#pragma once

#include <QString>

class IBrowser;
class TvBookobj;

// Runs code in the viewer's main frame and waits, keeping the window responsive, until the
// script's end marker arrives or 16 slices of 100 ms have passed. Returns whether the marker
// came. Without a browser it returns false at once.
bool ExecScript(IBrowser &browser, const QString &code);

// Asks the viewer for the book's page count (arrives as a console message).
void Getpagemeter(IBrowser &browser);

// Captures the page on display with pageScript and stores a usable report (more than 10
// characters) as the book's page file. True when a page was stored.
bool savepage(IBrowser &browser, TvBookobj &book, const QString &pageScript);
