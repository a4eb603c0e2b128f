#pragma once

// Asks the desktop session not to sleep or blank the screen while a download runs, through
// the session's D-Bus screen-saver service. Where no session bus or service answers,
// nothing happens. Request twice keeps one request; Release ends it.
namespace KeepAwake {
void Request();
void Release();
bool Requested();
} // namespace KeepAwake
