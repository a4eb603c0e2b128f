#include "tickloop.h"

#include "apperror.h"

TickLoop::TickLoop(std::function<void()> tick, QObject *parent) : QObject(parent), m_tick(std::move(tick))
{
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_timer.stop(); // the next tick comes an interval after this one has ended
        if (m_closed || m_held || !m_running)
            return;
        m_tick();
        rearm();
    });
}

void TickLoop::Begin()
{
    ++m_generation;
    m_running = true;
    if (!m_closed)
        m_timer.start();
}

void TickLoop::End()
{
    m_running = false;
    m_timer.stop();
}

void TickLoop::Close()
{
    m_closed = true;
    m_held = false;
    m_timer.stop();
}

void TickLoop::rearm()
{
    if (m_running && !m_closed && !m_held)
        m_timer.start();
}

TickLoop::Release TickLoop::Hold()
{
    m_held = true;
    const quint64 generation = m_generation;
    return [this, generation](const Rest &rest) {
        m_held = false;
        bool goOn = false;
        if (generation == m_generation && !m_closed) {
            try {
                goOn = rest();
            } catch (const WriteError &e) {
                if (Failed)
                    Failed(e.message(), true);
            } catch (const AppError &e) {
                if (Failed)
                    Failed(e.message(), false);
            }
        }
        if (goOn)
            rearm();
        emit Released();
    };
}
