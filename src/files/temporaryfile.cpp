// SPDX-License-Identifier: GPL-3.0-or-later
#include "temporaryfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

namespace {

constexpr char kPrefix[] = ".quillmark-";

// A name no file in the folder is likely to have: the process id, then random digits.
QByteArray FreshName() {
    static std::atomic<unsigned> counter = 0;
    static const pid_t pid = ::getpid();
    thread_local std::mt19937_64 random{std::random_device{}()};
    return kPrefix + QByteArray::number(pid) + '-' + QByteArray::number(random(), 36) +
           QByteArray::number(++counter, 36);
}

// Whether name is exactly ".quillmark-PID-RANDOM", as FreshName makes them, and PID names no
// live process.
bool LeftByDeadProcess(const char* name) {
    if (std::strncmp(name, kPrefix, sizeof kPrefix - 1) != 0) {
        return false;
    }
    const char* at = name + sizeof kPrefix - 1;
    long long pid = 0;
    const char* digits = at;
    for (; *at >= '0' && *at <= '9' && at - digits < 10; ++at) {
        pid = pid * 10 + (*at - '0');
    }
    if (at == digits || *at != '-' || pid <= 0 || pid > INT_MAX) {
        return false;
    }
    const char* random = ++at;
    for (; (*at >= '0' && *at <= '9') || (*at >= 'a' && *at <= 'z'); ++at) {
    }
    if (at == random || *at != '\0') {
        return false;
    }
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Gives the unnamed file open as fd the entry name in folderFd. Bench row "A replace,
// case-sensitive": linking the descriptor itself spares a walk through /proc per save; it needs
// the right to (root, or Linux 6.10 on for the file's opener), and /proc serves without it.
int LinkUnnamed(int fd, int folderFd, const char* name) {
    static std::atomic<bool> byDescriptor = true;
    if (byDescriptor.load(std::memory_order_relaxed)) {
        if (::linkat(fd, "", folderFd, name, AT_EMPTY_PATH) == 0) {
            return 0;
        }
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) {
            return -1;
        }
        byDescriptor.store(false, std::memory_order_relaxed);
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, self, folderFd, name, AT_SYMLINK_FOLLOW);
}

}  // namespace

TemporaryFile::~TemporaryFile() {
    Close();
}

bool TemporaryFile::Open(int folderFd, mode_t mode) {
    Close();
    folderFd_ = folderFd;
    fd_.Reset(::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    if (!fd_.ok()) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
            return false;
        }
        for (int attempt = 0; attempt < 100 && !fd_.ok(); ++attempt) {
            name_ = FreshName();
            fd_.Reset(::openat(folderFd, name_.constData(),
                               O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600));
            if (!fd_.ok() && errno != EEXIST) {
                name_.clear();
                return false;
            }
        }
        if (!fd_.ok()) {
            name_.clear();
            return false;
        }
    }
    // Held until Close: a file whose lock is free belongs to no running save.
    (void)::flock(fd_.get(), LOCK_SH | LOCK_NB);
    return true;
}

TemporaryFile::Placed TemporaryFile::PutInPlace(const QByteArray& target, const WriteWatch& watch) {
    if (!Named()) {
        for (int attempt = 0; attempt < 100 && !Named(); ++attempt) {
            name_ = FreshName();
            if (LinkUnnamed(fd_.get(), folderFd_, name_.constData()) != 0) {
                name_.clear();
                if (errno != EEXIST) {
                    return Placed::No;
                }
            }
        }
        if (!Named()) {
            return Placed::No;
        }
    }
    // Exchanged, the old file stays whole under the temporary name while the lease is looked
    // at once more: a writer that opened it meanwhile gets it back in place, and the new file
    // goes.
    if (::renameat2(folderFd_, name_.constData(), folderFd_, target.constData(), RENAME_EXCHANGE) ==
        0) {
        Placed placed = Placed::Yes;
        if (watch.Broken() && ::renameat2(folderFd_, name_.constData(), folderFd_,
                                          target.constData(), RENAME_EXCHANGE) == 0) {
            placed = Placed::InUse;
        }
        RemoveName();
        return placed;
    }
    const int exchangeError = errno;
    Placed placed = Placed::No;
    if (exchangeError == ENOENT) {
        placed = Placed::TargetGone;  // nothing to put anything in place of
    } else if (exchangeError == EINVAL || exchangeError == ENOSYS || exchangeError == EOPNOTSUPP) {
        if (watch.Broken()) {
            placed = Placed::InUse;
        } else if (::renameat(folderFd_, name_.constData(), folderFd_, target.constData()) == 0) {
            name_.clear();
            return Placed::Yes;
        }
    }
    RemoveName();
    return placed;
}

void TemporaryFile::RemoveName() {
    if (Named()) {
        ::unlinkat(folderFd_, name_.constData(), 0);
        name_.clear();
    }
}

void TemporaryFile::Close() {
    RemoveName();
    fd_.Reset();
}

void RemoveStaleTemporaries(int folderFd) {
    const int listFd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) {
            ::close(listFd);
        }
        return;
    }
    const uid_t me = ::geteuid();
    while (const dirent* entry = ::readdir(dir)) {
        if (!LeftByDeadProcess(entry->d_name)) {
            continue;
        }
        struct stat named {};
        if (::fstatat(folderFd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(named.st_mode) || named.st_uid != me) {
            continue;
        }
        Fd file(::openat(folderFd, entry->d_name,
                         O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
        struct stat opened {};
        if (!file.ok() || ::flock(file.get(), LOCK_EX | LOCK_NB) != 0 ||
            ::fstat(file.get(), &opened) != 0 || opened.st_dev != named.st_dev ||
            opened.st_ino != named.st_ino) {
            continue;
        }
        ::unlinkat(folderFd, entry->d_name, 0);
    }
    ::closedir(dir);
}
