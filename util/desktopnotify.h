#pragma once

#include <QString>

// Shows a notification on the desktop (org.freedesktop.Notifications on the session bus), for
// the moments a user who looks elsewhere wants to know of: a PDF saved, a run that ended with
// missing pages or an error. Sent without waiting for an answer; without a session bus or a
// notification service nothing happens.
void NotifyDesktop(const QString &summary, const QString &body);
