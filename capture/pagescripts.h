#pragma once

#include <QString>

// Scripts run in the viewer page. Their findings come back as tagged console messages
// (consolemessage.h). The page capture script itself is a resource ("jsQM", type "HTML").

// Prints "###book=" and what the viewer tells of the book as one JSON record: its page count
// ("totalSeq") and the page's title (ReadViewerBook reads it). A field more of the book is one
// member more here. Prints no end marker.
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
