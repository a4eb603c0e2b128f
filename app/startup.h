#pragma once

#include <QString>
#include <QStringList>

// The whole life of the program: command line, folders, browser engine, window, event loop,
// shutdown. --help and --version print and end the program before any window or browser
// engine exists.
int RunProgram(int argc, char *argv[]);

// The address the program opens at start from its arguments (program name first): the first
// argument that is not an option, as the browser loads it ("example.org/x" becomes
// "http://example.org/x"); empty when there is none. Options the program does not know (Qt's
// and Chromium's own switches) are passed over, as is everything after "--webEngineArgs".
QString StartUrlFromArguments(const QStringList &arguments);

// The --version text: the program's name and version, and the PDF engine library the program
// loads with its path, or why it cannot (needs the program folder set up).
QString VersionText();
