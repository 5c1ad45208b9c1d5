#pragma once

#include "record/Record.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace provision {

// A unit's own connection to the rig record, on a thread of its own: a reservation that waits
// its turn behind other units' and other stations' must not hold up reading the unit, and a
// database connection may only be used on the thread that opened it.
class RecordLine
{
public:
    RecordLine();
    // Runs what was posted, then closes the record on its thread.
    ~RecordLine();
    RecordLine(const RecordLine &) = delete;
    RecordLine &operator=(const RecordLine &) = delete;

    // Runs work(record) on the line's thread, after everything posted before it.
    template <typename F> auto post(F work)
    {
        using R = decltype(work(std::declval<record::Record &>()));
        auto task = std::make_shared<std::packaged_task<R(record::Record &)>>(std::move(work));
        std::future<R> result = task->get_future();
        enqueue([task](record::Record &record) { (*task)(record); });
        return result;
    }
    template <typename F> auto run(F work) { return post(std::move(work)).get(); }

private:
    void enqueue(std::function<void(record::Record &)> job);
    void serve();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void(record::Record &)>> m_jobs;
    bool m_closing = false;
    std::thread m_thread;
};

} // namespace provision
