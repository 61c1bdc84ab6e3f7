// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs tasks on threads of its own while the caller goes on, with a bound on the tasks that
// wait. A task reports what became of it itself.
class WorkQueue {
public:
    WorkQueue(int threads, int mostWaiting);
    // Finishes the tasks still waiting.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Adds a task; waits first while mostWaiting tasks wait for a thread. What a task throws is
    // dropped.
    void Add(std::function<void()> task);
    // Waits for every task and stops the threads.
    void Finish();

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable waiting_;  // a task was added, or the queue is finishing
    std::condition_variable taken_;    // a task was taken, for an Add that waits for room
    std::deque<std::function<void()>> tasks_;
    const std::size_t mostWaiting_;
    std::size_t busy_ = 0;  // threads running a task
    bool adding_ = false;   // an Add waits for room
    bool finishing_ = false;
    std::vector<std::thread> threads_;
};
