#pragma once

#include "runevents.h"

#include <QObject>
#include <QString>

class ActivityLogSink;

// Tells a run's events in the window: lines of the activity log (with the progress lines the
// next step rewrites in place), the progress bar's value and text, and desktop notifications
// for a PDF written or not.
class RunLogWriter : public QObject
{
    Q_OBJECT
public:
    explicit RunLogWriter(ActivityLogSink &log, QObject *parent = nullptr);

    void Write(const RunEvent &event);

signals:
    // The progress bar: value of maximum, with a line of text; and that it goes.
    void Progress(int value, int maximum, const QString &text);
    void ProgressEnded();
    // A moment worth a desktop notification.
    void Notice(const QString &summary, const QString &body);

private:
    struct Visitor;
    ActivityLogSink &m_log;
};
