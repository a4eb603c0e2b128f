#pragma once

#include "activitylog.h"

#include <QStringList>

// Keeps the activity log's lines for tests that run without the window.
class LogRecorder : public ActivityLogSink
{
public:
    QStringList lines;
    void addLine(const QString &text) override { lines << text; }
    void setLastLine(const QString &text) override { lines.last() = text; }
    void clearLines(const QString &text) override { lines = QStringList{text}; }
};
