#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

// Recognises the text of pages as they are stored, on a thread of its own, so a run's ticks
// are never held up: a page arrives every few seconds and takes about a second to read. The
// results are kept beside the pages (ocr/), where the build finds them; a page that fails
// here is tried again by the build, which says so in the log if it fails again.
class TPageRecognition
{
public:
    TPageRecognition();
    ~TPageRecognition(); // drops the queue and abandons the page in hand (nothing kept for it)

    void Enqueue(const QString &pageFile, const QString &language);
    // Forgets the pages not begun yet (the build takes them on both cores).
    void Clear();

private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<QString, QString>> m_queue;
    bool m_stop = false;
    std::atomic_bool m_abandon = false; // read by the recognition in hand
    std::thread m_thread;
};
