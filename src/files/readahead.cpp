// SPDX-License-Identifier: GPL-3.0-or-later
#include "readahead.h"

#include "fd.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/uio.h>
#include <sys/vfs.h>

#include <cerrno>

#include <algorithm>

namespace {

// More waiting hints than this are not worth keeping: the run has caught up with them.
constexpr std::size_t kMostWaiting = 256;

// Bench row "A find, case-sensitive" (warm): opening every file a second time cost more than
// the search (A find, 10,000 files in memory: 0.101 s hinting each, 0.069 s hinting none;
// medians of 9). After this many files in memory in a row, one hint in as many is acted on.
constexpr int kStretch = 32;
// Bench row "A replace, case-sensitive" (CPU against the floor): each look that finds its file
// in memory doubles the hints passed over before the next, up to this many.
constexpr int kLongestStretch = 512;

// Whether the start of the open file fd is in memory: a read that must not wait says so. A
// file system that cannot say is asked whether it keeps its files in memory (tmpfs): a run in
// /tmp probed and hinted every file, three system calls each. Bench row "A replace", --work
// on a tmpfs.
bool StartCached(int fd) {
    char byte = 0;
    iovec buffer{&byte, 1};
    if (::preadv2(fd, &buffer, 1, 0, RWF_NOWAIT) >= 0) {
        return true;
    }
    struct statfs fileSystem {};
    return errno == EOPNOTSUPP && ::fstatfs(fd, &fileSystem) == 0 &&
           (fileSystem.f_type == TMPFS_MAGIC || fileSystem.f_type == RAMFS_MAGIC);
}

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

void ReadAhead::Hint(int folderFd, const QByteArray& name) {
    if (++unqueued_ < stretch_.load(std::memory_order_relaxed)) {
        return;
    }
    unqueued_ = 0;
    {
        const std::lock_guard lock(mutex_);
        if (waiting_.size() >= kMostWaiting) {
            waiting_.pop_front();
        }
        waiting_.emplace_back(folderFd, name);
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
        const auto [folderFd, name] = std::move(waiting_.front());
        waiting_.pop_front();
        lock.unlock();
        const Fd fd(
            ::openat(folderFd, name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        int stretch = stretch_.load(std::memory_order_relaxed);
        if (fd.ok() && StartCached(fd.get())) {
            if (stretch > 1) {
                stretch = std::min(2 * stretch, kLongestStretch);
            } else if (++cachedInARow_ == kStretch) {
                stretch = kStretch;
            }
        } else if (fd.ok()) {
            cachedInARow_ = 0;
            stretch = 1;
            (void)::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_WILLNEED);
        }
        stretch_.store(stretch, std::memory_order_relaxed);
        lock.lock();
    }
}
