#include "platform/worker_pool.h"

#include <algorithm>

namespace cantrix {

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    taskReady.notify_all();
    for (std::thread& thread : threads)
        thread.join();
}

WorkerPool& WorkerPool::Shared()
{
    static WorkerPool pool;
    return pool;
}

unsigned WorkerPool::DefaultLimit()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

void WorkerPool::SetThreadLimit(unsigned newLimit)
{
    {
        std::lock_guard lock(mutex);
        limit = newLimit == 0 ? DefaultLimit() : newLimit;
        StartThreadsForQueue();
    }
    taskReady.notify_all();
}

unsigned WorkerPool::ThreadLimit() const
{
    std::lock_guard lock(mutex);
    return limit;
}

void WorkerPool::Submit(WorkerGroup& group, std::function<void()> work)
{
    std::lock_guard lock(mutex);
    queue.push_back({&group, std::move(work)});
    StartThreadsForQueue();
    taskReady.notify_one();
}

void WorkerPool::StartThreadsForQueue()
{
    // A new thread counts as idle from the start, so that one task never starts two threads.
    while (idle < queue.size() && threads.size() < limit) {
        ++idle;
        threads.emplace_back([this] { RunWorker(); });
    }
}

void WorkerPool::Cancel(WorkerGroup& group)
{
    std::unique_lock lock(mutex);
    std::erase_if(queue, [&](const Task& task) { return task.group == &group; });
    taskDone.wait(lock, [&] { return group.running == 0; });
}

void WorkerPool::RunWorker()
{
    std::unique_lock lock(mutex);
    for (;;) {
        taskReady.wait(lock, [&] { return stopping || (!queue.empty() && busy < limit); });
        --idle;
        if (stopping)
            return;
        Task task = std::move(queue.front());
        queue.pop_front();
        ++busy;
        ++task.group->running;
        lock.unlock();
        task.work();
        lock.lock();
        --busy;
        --task.group->running;
        ++idle;
        taskDone.notify_all();
        // The slot this task held may let a queued one start under the limit.
        taskReady.notify_one();
    }
}

} // namespace cantrix
