#pragma once

#include <QString>

// Scripts run in the viewer page. Their findings come back as tagged console messages
// (consoletags.h). The page capture script itself is a resource ("jsQM", type "HTML").

// Prints "###totalpage=" and the book's page count. Prints no end marker.
QString TotalPageScript();
// Clicks the viewer's "Next Page" button. Prints no end marker.
QString NextPageScript();
// Prints "###scriptdone=<sequence>". Queued right behind another script, its message comes
// after everything that script printed: the page runs scripts and prints console messages
// in order.
QString ScriptDoneProbe(quint64 sequence);
// Sets the page's QMscript to sequence, just before script number sequence runs: a script
// that goes on after its probe (the page script) tags what it prints later with it.
QString ScriptNumberScript(quint64 sequence);
