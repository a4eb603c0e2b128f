#pragma once

#include <QString>

// Whether Chromium's sandbox guards the pages the browser shows. It is on, except where
// Chromium cannot run it (as root it refuses to start with the sandbox on) or where the user
// turned it off with QTWEBENGINE_DISABLE_SANDBOX.
struct BrowserSandbox
{
    bool on = true;
    QString offReason; // why it is off, for the activity log; empty when on
};

// runningAsRoot: the process's effective user is root. turnedOffByUser:
// QTWEBENGINE_DISABLE_SANDBOX is set (with any value; Qt WebEngine reads it that way too).
BrowserSandbox ChooseBrowserSandbox(bool runningAsRoot, bool turnedOffByUser);

// The activity log's line for a sandbox that is off; empty when it is on.
QString BrowserSandboxLogLine(const BrowserSandbox &sandbox);
