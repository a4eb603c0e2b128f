#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT (Ctrl+C) and SIGTERM turned into a Qt signal on the thread that made the object, so a
// run without a window can stop the way Stop does and the program can end with the status of
// the signal that came. The handler only writes the signal's number into a pipe the event loop
// watches; everything else happens in the event loop. One object at a time; the handlers that
// were in place before come back when it goes.
class StopSignals : public QObject
{
    Q_OBJECT
public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

    // Whether the handlers are in place (false when the pipe or the handlers could not be set up,
    // or another object holds them).
    bool isActive() const { return m_active; }

    // The exit status of a process ended by that signal, as shells give it: 130 for SIGINT,
    // 143 for SIGTERM.
    static int ExitStatus(int signalNumber) { return 128 + signalNumber; }

signals:
    // Once for every SIGINT or SIGTERM that arrived, in the order they came.
    void stopRequested(int signalNumber);

private:
    void readSignals();

    QSocketNotifier *m_notifier = nullptr;
    bool m_active = false;
};
