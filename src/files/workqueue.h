#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Runs tasks on threads of its own while the caller goes on, with a bound on the tasks that
// wait, and keeps each task's result in the order the tasks were added.
class WorkQueue {
public:
    WorkQueue(int threads, int mostWaiting);
    // Finishes the tasks still waiting.
    ~WorkQueue();
    WorkQueue(const WorkQueue&) = delete;
    WorkQueue& operator=(const WorkQueue&) = delete;

    // Adds a task; waits first while mostWaiting tasks wait for a thread. A task that throws
    // has the result 0.
    void Add(std::function<int()> task);
    // Waits for every task and stops the threads. Returns the results in the order added.
    std::vector<int> Finish();

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::size_t, std::function<int()>>> waiting_;
    std::vector<int> results_;
    const std::size_t mostWaiting_;
    bool finishing_ = false;
    std::vector<std::thread> threads_;
};
