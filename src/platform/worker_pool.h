#pragma once
// The process-wide pool of worker threads that the codec driver splits long conversions over, so
// that one file uses every core and several files at once never start more threads than cores.
//
// Thread rules: every member may be called from any thread. Tasks run on the pool's threads in the
// order they were submitted, at most `ThreadLimit()` at a time.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cantrix {

class WorkerGroup;

class WorkerPool {
public:
    WorkerPool() = default;
    // Waits for the running tasks and ends the threads; no group may still have tasks queued.
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The pool every stream of the process shares.
    static WorkerPool& Shared();

    // At most `limit` tasks run at once; 0 means one per core. Threads start when tasks need them.
    // A lower limit takes effect as running tasks end.
    void SetThreadLimit(unsigned limit);
    unsigned ThreadLimit() const;

private:
    friend class WorkerGroup;
    struct Task {
        WorkerGroup* group;
        std::function<void()> work;
    };

    void Submit(WorkerGroup& group, std::function<void()> work);
    // Drops the group's queued tasks and returns when none of its tasks runs any more.
    void Cancel(WorkerGroup& group);
    void RunWorker();
    // Called with the mutex held.
    void StartThreadsForQueue();

    mutable std::mutex mutex;
    std::condition_variable taskReady;
    std::condition_variable taskDone;
    std::deque<Task> queue;
    std::vector<std::thread> threads;
    unsigned limit = DefaultLimit();
    unsigned busy = 0;
    unsigned idle = 0;
    bool stopping = false;

    static unsigned DefaultLimit();
};

// The tasks of one owner in a pool. Destroying the group cancels it, so no task of the owner runs
// once the owner is gone.
class WorkerGroup {
public:
    explicit WorkerGroup(WorkerPool& pool) : pool(pool) {}
    ~WorkerGroup() { Cancel(); }
    WorkerGroup(const WorkerGroup&) = delete;
    WorkerGroup& operator=(const WorkerGroup&) = delete;

    void Submit(std::function<void()> work) { pool.Submit(*this, std::move(work)); }
    // Queued tasks never start; returns once the running ones have ended.
    void Cancel() { pool.Cancel(*this); }
    unsigned ThreadLimit() const { return pool.ThreadLimit(); }

private:
    friend class WorkerPool;
    WorkerPool& pool;
    std::size_t running = 0; // guarded by the pool's mutex
};

} // namespace cantrix
