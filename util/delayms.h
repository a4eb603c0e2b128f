#pragma once

#include <cstdint>

// Waits `ms` milliseconds while the event loop goes on: every pending event, user input and
// timer runs during the wait (so code that called it may be entered again). DelayMs(0)
// processes the pending events once. The thread sleeps until an event or the deadline
// arrives instead of spinning, so long waits cost no processor time.
void DelayMs(std::uint32_t ms);
