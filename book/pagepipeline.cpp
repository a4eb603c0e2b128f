#include "pagepipeline.h"

#include <QThread>

#include <algorithm>
#include <chrono>

namespace {
// More workers than this gain nothing: the writer and the disk set the pace by then.
constexpr int MaxWorkers = 4;
// How often a writer waiting for a page looks at the cancel flag, which is set from
// another thread without waking it.
constexpr auto CancelPoll = std::chrono::milliseconds(20);
} // namespace

int PagePipeline::workersForMachine()
{
    return std::clamp(QThread::idealThreadCount(), 1, MaxWorkers);
}

MemoryGrant::MemoryGrant(MemoryGrant &&other) noexcept : m_pipeline(other.m_pipeline), m_bytes(other.m_bytes)
{
    other.m_pipeline = nullptr;
}

MemoryGrant &MemoryGrant::operator=(MemoryGrant &&other) noexcept
{
    if (this != &other) {
        release();
        m_pipeline = other.m_pipeline;
        m_bytes = other.m_bytes;
        other.m_pipeline = nullptr;
    }
    return *this;
}

MemoryGrant::~MemoryGrant()
{
    release();
}

void MemoryGrant::release()
{
    if (m_pipeline)
        m_pipeline->releaseMemory(m_bytes);
    m_pipeline = nullptr;
}

PagePipeline::PagePipeline(int totalPages, int workers, int ahead, std::size_t memoryBudget, Prepare prepare,
                           const std::atomic_bool *cancel)
    : m_total(totalPages), m_ahead(std::max(1, ahead)), m_prepare(std::move(prepare)), m_cancel(cancel),
      m_memoryBudget(memoryBudget)
{
    workers = std::clamp(workers, 1, std::max(1, std::min(m_ahead, totalPages)));
    m_workers.reserve(std::size_t(workers));
    for (int i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

PagePipeline::~PagePipeline()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

void PagePipeline::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || m_nextToPrepare > m_total || m_nextToPrepare < m_nextToTake + m_ahead; });
        if (m_stop || m_nextToPrepare > m_total || cancelled())
            return;
        const int page = m_nextToPrepare++;
        lock.unlock();
        PreparedPage prepared = m_prepare(page, *this);
        lock.lock();
        m_ready.emplace(page, std::move(prepared));
        m_changed.notify_all();
    }
}

MemoryGrant PagePipeline::reserveMemory(std::size_t bytes)
{
    std::unique_lock lock(m_mutex);
    // The holders never wait for anything while they hold, so the memory comes back.
    m_changed.wait(lock, [&] { return m_stop || m_memoryHeld == 0 || m_memoryHeld + bytes <= m_memoryBudget; });
    m_memoryHeld += bytes;
    return MemoryGrant(this, bytes);
}

void PagePipeline::releaseMemory(std::size_t bytes)
{
    {
        std::lock_guard lock(m_mutex);
        m_memoryHeld -= bytes;
    }
    m_changed.notify_all();
}

std::optional<PreparedPage> PagePipeline::take()
{
    std::unique_lock lock(m_mutex);
    const int page = m_nextToTake;
    for (;;) {
        if (cancelled())
            return std::nullopt;
        const auto it = m_ready.find(page);
        if (it != m_ready.end()) {
            PreparedPage prepared = std::move(it->second);
            m_ready.erase(it);
            ++m_nextToTake;
            lock.unlock();
            m_changed.notify_all();
            return prepared;
        }
        m_changed.wait_for(lock, CancelPoll);
    }
}
