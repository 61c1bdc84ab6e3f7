// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <mutex>

namespace {

std::atomic<bool> requested = false;
static_assert(std::atomic<bool>::is_always_lock_free, "the handler may only touch lock-free state");
int wakeFds[2] = {-1, -1};

void OnStopSignal(int) {
    const int savedErrno = errno;
    requested = true;
    const char byte = 1;
    (void)!::write(wakeFds[1], &byte, 1);
    errno = savedErrno;
}

}  // namespace

void StopSignals::Install() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (::pipe2(wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
            wakeFds[0] = wakeFds[1] = -1;
        }
        struct sigaction action {};
        action.sa_handler = OnStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            ::sigaction(signal, &action, nullptr);
        }
    });
}

bool StopSignals::Requested() {
    return requested.load();
}

int StopSignals::ReadableOnStop() {
    return wakeFds[0];
}
