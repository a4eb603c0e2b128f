#pragma once

#include "bookqueue.h"
#include "runevents.h"

#include <QString>
#include <functional>

// Tells a run without a window on a terminal: a line per page stored and per book, the lines
// of note of a run (waits for the site, pages given up, what the viewer said) on the error
// stream, and the path of each PDF written on the output stream, one a line. The window's
// progress lines, which it rewrites in place, have no line here.
class TerminalWriter
{
public:
    using Print = std::function<void(const QString &line)>;

    TerminalWriter(Print errors, Print output);

    void Write(const RunEvent &event);

    void BookOpening(const QueueEntry &entry);
    void BookNotOpened(const QueueEntry &entry, const QString &why);
    void BookEnded(const QueueEntry &entry, const RunOutcome &outcome);

private:
    struct Visitor;
    void line(const QString &text) const { m_errors(text); }

    Print m_errors;
    Print m_output;
    QString m_book; // the book's id, before each of its lines
};

// The book id a queue entry's lines are told under: its id, else its address.
QString TerminalBookName(const QueueEntry &entry);
