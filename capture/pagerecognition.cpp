#include "pagerecognition.h"

#include "apperror.h"
#include "ocrrecognizer.h"
#include "ocrstore.h"

#include <sys/resource.h>
#include <unistd.h>

TPageRecognition::TPageRecognition() : m_thread([this] { work(); })
{
}

TPageRecognition::~TPageRecognition()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_abandon = true;
    m_wake.notify_all();
    m_thread.join();
}

void TPageRecognition::Enqueue(const QString &pageFile, const QString &language)
{
    {
        std::lock_guard lock(m_mutex);
        m_queue.emplace_back(pageFile, language);
    }
    m_wake.notify_one();
}

void TPageRecognition::Clear()
{
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

void TPageRecognition::work()
{
    // Below the window's thread and the engine: recognition waits when they are busy.
    ::setpriority(PRIO_PROCESS, ::gettid(), 10);
    std::unique_ptr<OcrRecognizer> recognizer; // made on first use: the model takes a moment to load
    for (;;) {
        std::pair<QString, QString> page;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop)
                return;
            page = std::move(m_queue.front());
            m_queue.pop_front();
        }
        try {
            if (!recognizer)
                recognizer = std::make_unique<OcrRecognizer>();
            LoadOrRecognize(page.first, page.second, *recognizer, &m_abandon);
        } catch (const AppError &) {
            // The build tries the page again and reports it; stopped, nothing was kept.
        } catch (const std::exception &) {
        }
    }
}
