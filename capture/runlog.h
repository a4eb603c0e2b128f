#pragma once

#include <QObject>
#include <QString>

// How a line changes the log the user reads.
enum class LogEdit {
    Add,         // a new last line
    ReplaceLast, // in place of the last line (progress that changes)
    Clear,       // every line goes, this one is the only line
};

// The lines a download and its builds write for the user. They go out as a signal, so the
// window shows them in its log and a run without a window prints them.
class TRunLog : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void add(const QString &text) { emit Line(LogEdit::Add, text); }
    void replaceLast(const QString &text) { emit Line(LogEdit::ReplaceLast, text); }
    void clear(const QString &text) { emit Line(LogEdit::Clear, text); }

signals:
    void Line(LogEdit edit, const QString &text);
};

// Shows a line in the program's activity log (the window's log, when it is there).
void ShowLogLine(LogEdit edit, const QString &text);
