#include "station/RecordLine.h"

namespace provision {

RecordLine::RecordLine() : m_thread([this] { serve(); }) {}

RecordLine::~RecordLine()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void RecordLine::enqueue(std::function<void(record::Record &)> job)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void RecordLine::serve()
{
    // Made, used and destroyed here: the connection belongs to this thread.
    record::Record record;
    for (;;) {
        std::function<void(record::Record &)> job;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_wake.wait(lock, [this] { return m_closing || !m_jobs.empty(); });
            if (m_jobs.empty())
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job(record);
    }
}

} // namespace provision
