#include "temporaryfile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
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

enum PlaceStatus : int { kPlaced = 0, kNameTaken = 1, kFailed = 2, kInUse = 3, kGone = 4 };

// Whether the lease held on leaseFd (none when -1) is broken: another program is opening the
// file for writing, or truncating it, and waits for this one to let go.
bool LeaseBroken(int leaseFd) {
    return leaseFd >= 0 && ::fcntl(leaseFd, F_GETLEASE) != F_RDLCK;
}

// Puts the temporary file in place of target, both in folderFd, and returns how it went; from,
// when given, is the /proc path of an unnamed file to link as temporary first. Where the file
// system can, the two names are exchanged, so that the old file stays whole under the
// temporary name while the lease is looked at once more: a writer that opened it meanwhile
// gets it back in place, and the new file goes. Elsewhere it is a plain rename.
int Place(const char* from, int folderFd, const char* temporary, const char* target, int leaseFd) {
    if (from && ::linkat(AT_FDCWD, from, folderFd, temporary, AT_SYMLINK_FOLLOW) != 0) {
        return errno == EEXIST ? kNameTaken : kFailed;
    }
    if (::renameat2(folderFd, temporary, folderFd, target, RENAME_EXCHANGE) == 0) {
        int status = kPlaced;
        if (LeaseBroken(leaseFd) &&
            ::renameat2(folderFd, temporary, folderFd, target, RENAME_EXCHANGE) == 0) {
            status = kInUse;
        }
        ::unlinkat(folderFd, temporary, 0);
        return status;
    }
    const int exchangeError = errno;
    if (exchangeError == ENOENT) {
        ::unlinkat(folderFd, temporary, 0);
        return kGone;  // the target went: nothing to put anything in place of
    }
    if (exchangeError == EINVAL || exchangeError == ENOSYS || exchangeError == EOPNOTSUPP) {
        if (::renameat(folderFd, temporary, folderFd, target) == 0) {
            return kPlaced;
        }
    }
    ::unlinkat(folderFd, temporary, 0);
    return kFailed;
}

// Place, in a vfork child: a kill of this process between two of its steps leaves no name.
int PlaceInChild(const char* from, int folderFd, const char* temporary, const char* target,
                 int leaseFd) {
    const pid_t child = ::vfork();
    if (child == 0) {
        ::_exit(Place(from, folderFd, temporary, target, leaseFd));
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

TemporaryFile::Placed TemporaryFile::PutInPlace(const QByteArray& target, const WriteWatch& watch) {
    int status = kFailed;
    if (Named()) {
        status = PlaceInChild(nullptr, folderFd_, name_.constData(), target.constData(),
                              watch.LeaseFd());
        name_.clear();  // renamed, or removed by the child
    } else {
        const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd_.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            status = PlaceInChild(procPath.constData(), folderFd_, FreshName().constData(),
                                  target.constData(), watch.LeaseFd());
            if (status != kNameTaken) {
                break;
            }
        }
    }
    switch (status) {
        case kPlaced:
            return Placed::Yes;
        case kInUse:
            return Placed::InUse;
        case kGone:
            return Placed::TargetGone;
        default:
            return Placed::No;
    }
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
