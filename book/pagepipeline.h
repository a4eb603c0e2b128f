#pragma once

#include "ocrpage.h"

#include <QPoint>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class PagePipeline;

// Memory set aside for a page being prepared, given back when the grant ends.
class MemoryGrant
{
public:
    MemoryGrant() = default;
    MemoryGrant(MemoryGrant &&other) noexcept;
    MemoryGrant &operator=(MemoryGrant &&other) noexcept;
    ~MemoryGrant();

private:
    friend class PagePipeline;
    MemoryGrant(PagePipeline *pipeline, std::size_t bytes) : m_pipeline(pipeline), m_bytes(bytes) {}
    void release();
    PagePipeline *m_pipeline = nullptr;
    std::size_t m_bytes = 0;
};

// A page made ready for writing by a worker: missing (with the reason when its file is there
// but cannot be read), or an encoded image owned together with its release function.
struct PreparedPage
{
    bool missing = false;
    QString unreadable;                                // why the file there cannot be read
    QString failure;                                   // what stops the build at this page (memory)
    int width = 0;                                     // pixels of the image as shown
    int height = 0;
    QPoint dotsPerInch;                                // of the page across and down
    QString note;                                      // what of the file is left out
    std::unique_ptr<void, std::function<void(void *)>> image;
    std::optional<OcrPage> text;                       // the words laid over the page, when asked for
    QString textFailure;                               // why they could not be had
};

// Prepares pages 1..totalPages on worker threads, a bounded number ahead of the one the
// writer waits for, so memory stays that of a few pages however long the book is; the
// writer takes them strictly in page order. Large pages are prepared one at a time when
// several would not fit in the memory budget together. Destroying the pipeline stops the
// workers after the page each is on and releases every page not taken.
class PagePipeline
{
public:
    using Prepare = std::function<PreparedPage(int page, PagePipeline &pipeline)>;

    // prepare runs on the workers, several at once; it must not throw. At most `ahead`
    // pages are prepared or waiting at a time.
    PagePipeline(int totalPages, int workers, int ahead, std::size_t memoryBudget, Prepare prepare,
                 const std::atomic_bool *cancel);
    ~PagePipeline();
    PagePipeline(const PagePipeline &) = delete;
    PagePipeline &operator=(const PagePipeline &) = delete;

    // The next page in order, waiting until it is ready; nothing once *cancel is true.
    std::optional<PreparedPage> take();

    // For prepare: waits until `bytes` fit in the budget beside what the other workers hold
    // (a page alone always fits) and holds them until the grant ends.
    MemoryGrant reserveMemory(std::size_t bytes);

    // Workers for this machine: one per core, at most a few (the writer needs little).
    static int workersForMachine();

private:
    friend class MemoryGrant;
    void work();
    void releaseMemory(std::size_t bytes);
    bool cancelled() const { return m_cancel && m_cancel->load(); }

    const int m_total;
    const int m_ahead;
    const Prepare m_prepare;
    const std::atomic_bool *m_cancel;
    const std::size_t m_memoryBudget;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_nextToPrepare = 1;
    int m_nextToTake = 1;
    bool m_stop = false;
    std::size_t m_memoryHeld = 0;
    std::map<int, PreparedPage> m_ready;
    std::vector<std::thread> m_workers;
};
