#pragma once

#include <QEvent>

// Work the browser's callbacks hand to the window is posted as one of these events and runs
// later in the window's own event handling, never inside the callback.
namespace WindowMessage {
inline constexpr QEvent::Type WM_BROWSERCREATED = QEvent::Type(0x8A03); // the browser exists
inline constexpr QEvent::Type WM_CLOSE = QEvent::Type(QEvent::User + 0x10); // close, second pass
} // namespace WindowMessage
