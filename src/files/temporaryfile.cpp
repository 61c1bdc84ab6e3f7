#include "temporaryfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
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

enum LinkAndRenameStatus : int { kRenamed = 0, kNameTaken = 1, kFailed = 2 };

// Links from (the /proc path of an open file) to temporary and renames that over target, both
// in folderFd, in a vfork child; returns how it went.
int LinkAndRenameInChild(const char* from, int folderFd, const char* temporary,
                         const char* target) {
    const pid_t child = ::vfork();
    if (child == 0) {
        if (::linkat(AT_FDCWD, from, folderFd, temporary, AT_SYMLINK_FOLLOW) != 0) {
            ::_exit(errno == EEXIST ? kNameTaken : kFailed);
        }
        if (::renameat(folderFd, temporary, folderFd, target) != 0) {
            ::unlinkat(folderFd, temporary, 0);
            ::_exit(kFailed);
        }
        ::_exit(kRenamed);
    }
    if (child < 0) {
        return kFailed;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return kFailed;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kFailed;
}

}  // namespace

TemporaryFile::~TemporaryFile() {
    Close();
}

bool TemporaryFile::Open(int folderFd) {
    Close();
    folderFd_ = folderFd;
    fd_.Reset(::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
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

bool TemporaryFile::RenameOver(const QByteArray& target) {
    if (Named()) {
        if (::renameat(folderFd_, name_.constData(), folderFd_, target.constData()) != 0) {
            return false;
        }
        name_.clear();
        return true;
    }
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd_.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int status = LinkAndRenameInChild(procPath.constData(), folderFd_,
                                                FreshName().constData(), target.constData());
        if (status != kNameTaken) {
            return status == kRenamed;
        }
    }
    return false;
}

void TemporaryFile::Close() {
    if (Named()) {
        ::unlinkat(folderFd_, name_.constData(), 0);
        name_.clear();
    }
    fd_.Reset();
}

bool NeedsNamedTemporaries(int folderFd) {
    const Fd probe(::openat(folderFd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    return !probe.ok() && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
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
        if (std::strncmp(entry->d_name, kPrefix, sizeof kPrefix - 1) != 0) {
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
