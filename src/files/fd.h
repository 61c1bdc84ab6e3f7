// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <unistd.h>

// Owns a file descriptor and closes it.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Closes the descriptor held, if any, and holds fd instead.
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }
    // Hands the descriptor over to the caller, who closes it; -1 when none is held.
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};
