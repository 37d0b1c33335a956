// The threads that count: shared by every counting run and by the pieces of a
// big file, and never more than a fixed number of them.
//
// A thread stuck in the file system (a read from a hung network share) cannot
// be taken back; it keeps its place in the pool until the read returns. New
// work goes to the other threads, or waits for one, so that run after run over
// such a target never adds a thread beyond the cap.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace rowtick {

class WorkerPool {
public:
    // The program's pool: a counting run's readers (ReaderCount) and twice the
    // processor cores beside them.
    // Never destroyed, so a thread still busy when the program ends has a pool.
    static WorkerPool& shared();

    explicit WorkerPool(unsigned maxThreads);
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs `task` on an idle thread, on a new one while the cap allows, or
    // later on the first thread that becomes free.
    void post(std::function<void()> task);

    unsigned maxThreads() const { return maxThreads_; }
    // Threads made so far: never more than maxThreads().
    unsigned threadCount() const;

private:
    void serve();

    const unsigned maxThreads_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    unsigned threads_ = 0;
    unsigned idle_ = 0;
};

}  // namespace rowtick
