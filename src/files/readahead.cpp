#include "readahead.h"

#include "fd.h"

#include <fcntl.h>

namespace {

// More waiting hints than this are not worth keeping: the run has caught up with them.
constexpr std::size_t kMostWaiting = 256;

}  // namespace

ReadAhead::ReadAhead() : thread_(&ReadAhead::Work, this) {}

ReadAhead::~ReadAhead() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

void ReadAhead::Hint(const QByteArray& path) {
    {
        const std::lock_guard lock(mutex_);
        if (waiting_.size() >= kMostWaiting) {
            waiting_.pop_front();
        }
        waiting_.push_back(path);
    }
    changed_.notify_one();
}

void ReadAhead::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
        if (stopping_) {
            return;
        }
        const QByteArray path = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        const Fd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (fd.ok()) {
            (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_WILLNEED);
        }
        lock.lock();
    }
}
