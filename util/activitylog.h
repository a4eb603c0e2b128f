#pragma once

#include <QString>

// The activity log: the lines the user reads in the window, the only channel of progress and
// error text. The window registers itself as the sink; without one the lines are dropped.
class ActivityLogSink
{
public:
    virtual ~ActivityLogSink() = default;
    virtual void addLine(const QString &text) = 0;
    virtual void setLastLine(const QString &text) = 0;
    virtual void clearLines(const QString &text) = 0;
};

void SetActivityLogSink(ActivityLogSink *sink);

// Appends text as a new last line.
void AddLog(const QString &text);
// Replaces the last line (progress lines that change in place).
void SetLastLog(const QString &text);
// Removes every line, then adds text as the only line.
void ClearLog(const QString &text);
