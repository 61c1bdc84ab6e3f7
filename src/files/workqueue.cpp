// SPDX-License-Identifier: GPL-3.0-or-later
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

void WorkQueue::Add(std::function<void()> task) {
    std::unique_lock lock(mutex_);
    while (tasks_.size() >= mostWaiting_) {
        adding_ = true;
        taken_.wait(lock);
    }
    tasks_.push_back(std::move(task));
    // A thread is woken only for a task the busy ones would leave waiting: a busy thread takes
    // the next task as it finishes its own, with no sleep and no wake. Bench row "A replace",
    // CPU against the floor x2.
    const bool wake = tasks_.size() > busy_;
    lock.unlock();
    if (wake) {
        waiting_.notify_one();
    }
}

void WorkQueue::Finish() {
    {
        const std::lock_guard lock(mutex_);
        finishing_ = true;
    }
    waiting_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
    threads_.clear();
}

void WorkQueue::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        waiting_.wait(lock, [this] { return finishing_ || !tasks_.empty(); });
        if (tasks_.empty()) {
            return;
        }
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        ++busy_;
        const bool adding = adding_;
        adding_ = false;
        lock.unlock();
        if (adding) {
            taken_.notify_one();
        }
        try {
            task();
        } catch (...) {
            // Nothing on this thread can report it.
        }
        lock.lock();
        --busy_;
    }
}
