#include "WorkerPool.h"

#include <algorithm>
#include <thread>

#include "ReaderCount.h"

namespace rowtick {

WorkerPool& WorkerPool::shared()
{
    // Room for a counting run's readers all at once, and beside them for its
    // sizing pass and the helpers of the big files they read.
    static WorkerPool* const pool = new WorkerPool(ReaderCount() + std::max(2u, 2 * std::thread::hardware_concurrency()));
    return *pool;
}

WorkerPool::WorkerPool(unsigned maxThreads) : maxThreads_(std::max(1u, maxThreads)) {}

void WorkerPool::post(std::function<void()> task)
{
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    if (idle_ > tasks_.size() - 1) {
        wake_.notify_one();
        return;
    }
    if (threads_ < maxThreads_) {
        ++threads_;
        // Threads are made lazily and kept: a run of small files pays for no
        // thread creation after the first run.
        std::thread([this] { serve(); }).detach();
    }
}

unsigned WorkerPool::threadCount() const
{
    std::lock_guard lock(mutex_);
    return threads_;
}

void WorkerPool::serve()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        ++idle_;
        wake_.wait(lock, [this] { return !tasks_.empty(); });
        --idle_;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        task = nullptr;  // what the task holds goes before the thread waits again
        lock.lock();
    }
}

}  // namespace rowtick
