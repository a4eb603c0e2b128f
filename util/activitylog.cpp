#include "activitylog.h"

namespace {
ActivityLogSink *g_sink = nullptr;
}

void SetActivityLogSink(ActivityLogSink *sink)
{
    g_sink = sink;
}

void AddLog(const QString &text)
{
    if (g_sink)
        g_sink->addLine(text);
}

void SetLastLog(const QString &text)
{
    if (g_sink)
        g_sink->setLastLine(text);
}

void ClearLog(const QString &text)
{
    if (g_sink)
        g_sink->clearLines(text);
}
