#include "readpool.h"

#include <algorithm>

namespace {

// Bench rows "find" against rg with its threads: how many hinted files the threads may be
// ahead of the run, how many of the nearest they leave to the run itself (so that the run
// seldom waits for a file a thread is reading), and how many bytes read ahead may wait.
constexpr std::size_t kAhead = 24;
constexpr std::size_t kLeftToRun = 2;
constexpr qsizetype kMostHeld = qsizetype(8) << 20;
// Hints beyond this many are the run's hints far ahead; the oldest goes first.
constexpr std::size_t kMostWaiting = 256;

}  // namespace

struct ReadPool::Job {
    enum class State { Waiting, Reading, Done, LeftToRun, Dropped };
    int folderFd = -1;
    QByteArray name;
    State state = State::Waiting;
    Read read;
};

ReadPool::ReadPool(Reader reader) : reader_(std::move(reader)) {
    // The run's own thread reads too: one core is its.
    const unsigned cores = std::max(2U, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < std::min(cores - 1, 4U); ++i) {
        threads_.emplace_back(&ReadPool::Work, this);
    }
}

ReadPool::~ReadPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    changed_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void ReadPool::Hint(int folderFd, const QByteArray& name) {
    {
        const std::lock_guard lock(mutex_);
        if (jobs_.size() >= kMostWaiting) {
            jobs_.front()->state = Job::State::Dropped;
            jobs_.pop_front();
        }
        auto job = std::make_shared<Job>();
        job->folderFd = folderFd;
        job->name = name;
        jobs_.push_back(std::move(job));
        if (idle_ == 0) {
            return;
        }
    }
    changed_.notify_one();
}

std::optional<ReadPool::Read> ReadPool::Take(int folderFd, const QByteArray& name) {
    std::unique_lock lock(mutex_);
    const auto found = std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& job) {
        return job->folderFd == folderFd && job->name == name;
    });
    if (found == jobs_.end()) {
        return std::nullopt;
    }
    const std::shared_ptr<Job> job = *found;
    for (auto passed = jobs_.begin(); passed != found; ++passed) {
        if ((*passed)->state == Job::State::Done) {
            held_ -= (*passed)->read.content.size();
        }
        (*passed)->state = Job::State::Dropped;
    }
    jobs_.erase(jobs_.begin(), std::next(found));
    if (idle_ > 0) {
        changed_.notify_all();  // the window moved on
    }
    if (job->state == Job::State::Waiting) {
        job->state = Job::State::Dropped;
        return std::nullopt;
    }
    if (job->state == Job::State::Reading) {
        awaited_ = job.get();
        changed_.wait(lock, [&] { return job->state != Job::State::Reading; });
        awaited_ = nullptr;
    }
    if (job->state != Job::State::Done) {
        return std::nullopt;
    }
    held_ -= job->read.content.size();
    job->state = Job::State::Dropped;
    return std::move(job->read);
}

void ReadPool::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        std::shared_ptr<Job> job;
        const auto found = [&] {
            if (stopping_) {
                return true;
            }
            if (held_ >= kMostHeld) {
                return false;
            }
            const std::size_t near = std::min(jobs_.size(), kAhead);
            for (std::size_t i = kLeftToRun; i < near; ++i) {
                if (jobs_[i]->state == Job::State::Waiting) {
                    job = jobs_[i];
                    return true;
                }
            }
            return false;
        };
        if (!found()) {
            ++idle_;
            changed_.wait(lock, found);
            --idle_;
        }
        if (stopping_) {
            return;
        }
        job->state = Job::State::Reading;
        lock.unlock();
        Read read;
        const bool done = reader_(job->folderFd, job->name, read);
        lock.lock();
        if (job->state == Job::State::Reading && done) {
            job->read = std::move(read);
            job->state = Job::State::Done;
            held_ += job->read.content.size();
        } else if (job->state == Job::State::Reading) {
            job->state = Job::State::LeftToRun;
        }
        if (awaited_ == job.get()) {
            changed_.notify_all();
        }
    }
}
