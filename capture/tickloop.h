#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

// The tick of a run: one step a tick, the next tick an interval after the last one has ended.
// A step that starts something that ends later (a capture, a page turn, a build) holds the
// ticks until its end has been handled, so ticks never overlap and nothing waits inside one.
// An end that comes for a run before the one going on, or after the loop closed, is dropped.
class TickLoop : public QObject
{
    Q_OBJECT
public:
    using Rest = std::function<bool()>; // the rest of a held step: whether the run ticks on
    using Release = std::function<void(const Rest &rest)>;

    explicit TickLoop(std::function<void()> tick, QObject *parent = nullptr);

    void SetInterval(int ms) { m_timer.setInterval(ms); }
    // A run begins ticking, or ends (no tick more; a step held for it is dropped when it ends).
    void Begin();
    void End();
    // No tick ever again, and nothing held is waited for (the program is closing).
    void Close();

    bool Ticking() const { return m_timer.isActive(); }
    // A step is held: what it started has not ended yet.
    bool Held() const { return m_held; }

    // Holds the ticks. The release, called once when what the step started has ended, runs
    // rest (unless another run has begun or the loop is closed: rest also runs for a run that
    // was stopped meanwhile, to finish what it started) and ticks on when it says so.
    // AppErrors from rest go to Failed (with whether a file could not be written).
    Release Hold();
    std::function<void(const QString &reason, bool writeFailed)> Failed;

signals:
    // A hold has ended: a run asked for meanwhile may start.
    void Released();

private:
    void rearm();

    std::function<void()> m_tick;
    QTimer m_timer;
    quint64 m_generation = 0; // one per run
    bool m_running = false;
    bool m_held = false;
    bool m_closed = false;
};
