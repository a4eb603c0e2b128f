#pragma once

#include <QList>
#include <chrono>

// The pace of a download run, in one place: how often it ticks, how long it gives the viewer
// after a page turn and a page script, and how it waits out a site that does not give a
// page's image.
namespace Pacing {
using namespace std::chrono_literals;

// A run does one step a tick.
inline constexpr int TickIntervalMs = 1000;
// Ticks to wait for the viewer after a page turn (shortened when the viewer moves on).
inline constexpr int PageWaitTicks = 30;
// Captures of the page on display in a row before the run waits for the site.
inline constexpr int MaxCaptureAttempts = 3;
// Page turns in a row after which the viewer did not move before the run ends.
inline constexpr int MaxStuckTurns = 3;

// The longest wait for a page script's report. A copy drawn on a canvas of an A4 colour scan
// at 300 dpi (40 million characters) takes a few seconds; a page script that fails is known at
// once from its end marker or the probe behind it, so this only matters when the page hangs.
inline constexpr int CaptureTimeoutMs = 60000;
// Scripts other than the page script print little; their probe comes back at once.
inline constexpr int ShortScriptTimeoutMs = 10000;

// The waits after each failure of a page's image in turn; the last one repeats.
inline const QList<std::chrono::milliseconds> SiteWaits{10s, 30s, 60s, 120s, 300s};
// A page is given up this long after its first failure.
inline constexpr std::chrono::milliseconds GiveUpAfter = 15min;
// The longest Retry-After the run obeys.
inline constexpr std::chrono::milliseconds LongestRetryAfter = 10min;
} // namespace Pacing
