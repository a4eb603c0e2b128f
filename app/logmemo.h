#pragma once

#include "activitylog.h"

#include <QPlainTextEdit>

// The activity log box: its lines are the log. The user may select, copy and type in it.
class TLogMemo : public QPlainTextEdit, public ActivityLogSink
{
    Q_OBJECT
public:
    explicit TLogMemo(QWidget *parent = nullptr);

    QStringList lines() const;

    void addLine(const QString &text) override;
    void setLastLine(const QString &text) override;
    void clearLines(const QString &text) override;

private:
    // An empty document shows no line, but a log holding one empty line looks the same; this
    // tells the two apart.
    bool m_oneEmptyLine = false;
};
