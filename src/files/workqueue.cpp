#include "workqueue.h"

WorkQueue::WorkQueue(int threads, int mostWaiting) : mostWaiting_(std::size_t(mostWaiting)) {
    try {
        for (int i = 0; i < threads; ++i) {
            threads_.emplace_back(&WorkQueue::Work, this);
        }
    } catch (...) {
        // The threads already started are stopped before the failure goes on: a running
        // thread left behind would end the program.
        Finish();
        throw;
    }
}

WorkQueue::~WorkQueue() {
    Finish();
}

void WorkQueue::Add(std::function<int()> task) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < mostWaiting_; });
    waiting_.emplace_back(results_.size(), std::move(task));
    results_.push_back(0);
    lock.unlock();
    changed_.notify_all();
}

std::vector<int> WorkQueue::Finish() {
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
    return results_;
}

void WorkQueue::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return finishing_ || !waiting_.empty(); });
        if (waiting_.empty()) {
            return;
        }
        auto [index, task] = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        changed_.notify_all();
        int result = 0;
        try {
            result = task();
        } catch (...) {
            // Nothing on this thread can report it; the task's result stays 0.
        }
        lock.lock();
        results_[index] = result;
    }
}
