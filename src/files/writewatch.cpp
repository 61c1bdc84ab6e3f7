// SPDX-License-Identifier: GPL-3.0-or-later
#include "writewatch.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <csignal>

namespace {

// The kernel tells a lease holder of a break by a signal, SIGIO unless told otherwise, whose
// default action ends the program. The watch asks for a real-time signal instead, whose
// handler does nothing: the save looks at the lease itself and lets go of it once it has
// decided (the kernel takes it after /proc/sys/fs/lease-break-time should the save hang).
// SIGIO, which the kernel sends should that signal's queue overflow, is ignored as well unless
// the program handles it already.
void OnLeaseBreak(int, siginfo_t*, void*) {}

int LeaseSignal() {
    static const int signal = [] {
        const int chosen = SIGRTMIN + 3;
        struct sigaction action {};
        action.sa_sigaction = OnLeaseBreak;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        ::sigaction(chosen, &action, nullptr);
        struct sigaction io {};
        if (::sigaction(SIGIO, nullptr, &io) == 0 && io.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            ::sigaction(SIGIO, &ignore, nullptr);
        }
        return chosen;
    }();
    return signal;
}

// Whether another process holds a write lock (fcntl or open file description) on fd's file.
bool WriteLocked(int fd) {
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
}

}  // namespace

WriteWatch::~WriteWatch() {
    End();
}

bool WriteWatch::Locked(int fd) {
    // An exclusive flock is how many programs say they are writing; a shared one of ours,
    // held while the file is open, keeps such programs out until the save is done.
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        flocked_ = fd;
    } else if (errno == EWOULDBLOCK) {
        return true;
    }
    return WriteLocked(fd);
}

WriteWatch::Start WriteWatch::Begin(int fd) {
    End();
    if (::fcntl(fd, F_SETSIG, LeaseSignal()) == 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
        fd_ = fd;
        if (flocked_ == fd || !Locked(fd)) {
            return Start::Watching;
        }
        End();
        return Start::InUse;
    }
    // EAGAIN: the file is open for writing somewhere. EACCES, EINVAL: not ours to lease, or no
    // leases on this file system.
    if (errno == EAGAIN) {
        return Start::InUse;
    }
    return Locked(fd) ? Start::InUse : Start::Unwatched;
}

bool WriteWatch::Broken() const {
    // A lease being broken reads as already gone.
    return fd_ >= 0 && ::fcntl(fd_, F_GETLEASE) != F_RDLCK;
}

void WriteWatch::End() {
    if (fd_ >= 0) {
        (void)::fcntl(fd_, F_SETLEASE, F_UNLCK);
        fd_ = -1;
    }
}
