#pragma once

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

// A page made ready for writing by a worker: missing, failed with a message, or an encoded
// image owned together with its release function.
struct PreparedPage
{
    bool missing = false;
    QString failure;                                   // the error to raise when this page's turn comes
    int width = 0;
    int height = 0;
    std::unique_ptr<void, std::function<void(void *)>> image;
};

// Prepares pages 1..totalPages on worker threads, a bounded number ahead of the one the
// writer waits for, so memory stays that of a few pages however long the book is; the
// writer takes them strictly in page order. Destroying the pipeline stops the workers after
// the page each is on and releases every page not taken.
class PagePipeline
{
public:
    using Prepare = std::function<PreparedPage(int page)>;

    // prepare runs on the workers, several at once; it must not throw. At most `ahead`
    // pages are prepared or waiting at a time.
    PagePipeline(int totalPages, int workers, int ahead, Prepare prepare, const std::atomic_bool *cancel);
    ~PagePipeline();
    PagePipeline(const PagePipeline &) = delete;
    PagePipeline &operator=(const PagePipeline &) = delete;

    // The next page in order, waiting until it is ready; nothing once *cancel is true.
    std::optional<PreparedPage> take();

    // Workers for this machine: one per core, at most a few (the writer needs little).
    static int workersForMachine();

private:
    void work();
    bool cancelled() const { return m_cancel && m_cancel->load(); }

    const int m_total;
    const int m_ahead;
    const Prepare m_prepare;
    const std::atomic_bool *m_cancel;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_nextToPrepare = 1;
    int m_nextToTake = 1;
    bool m_stop = false;
    std::map<int, PreparedPage> m_ready;
    std::vector<std::thread> m_workers;
};
