// SPDX-License-Identifier: GPL-3.0-or-later
#include "fileaccess.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/sysmacros.h>

#include <cerrno>
#include <climits>

namespace {

qint64 Nanoseconds(const timespec& t) {
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

qint64 Nanoseconds(const statx_timestamp& t) {
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeNs = Nanoseconds(st.st_mtim);
    stamp.ctimeNs = Nanoseconds(st.st_ctim);
    return stamp;
}

FileStamp StampOf(const struct statx& st) {
    FileStamp stamp;
    stamp.device = makedev(st.stx_dev_major, st.stx_dev_minor);
    stamp.inode = st.stx_ino;
    stamp.size = qint64(st.stx_size);
    stamp.mtimeNs = Nanoseconds(st.stx_mtime);
    stamp.ctimeNs = Nanoseconds(st.stx_ctime);
    return stamp;
}

Opened OpenChecked(int folderFd, const char* name, int flags, Fd& fd, struct stat& st) {
    fd.Reset(::openat(folderFd, name, flags | O_NOFOLLOW));
    if (fd.ok()) {
        return ::fstat(fd.get(), &st) == 0 ? Opened::Ok : Opened::Failed;
    }
    if (errno != ELOOP) {
        return Opened::Failed;
    }
    const Fd link(::openat(folderFd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat linkStatus {};
    if (!link.ok() || ::fstat(link.get(), &linkStatus) != 0) {
        return Opened::Failed;
    }
    char target[PATH_MAX];
    const ssize_t length =
        S_ISLNK(linkStatus.st_mode) ? ::readlinkat(link.get(), "", target, sizeof target - 1) : -1;
    if (length < 0) {
        errno = S_ISLNK(linkStatus.st_mode) ? errno : EAGAIN;  // replaced since the first open
        return Opened::Failed;
    }
    target[length] = '\0';
    fd.Reset(::openat(folderFd, target, flags));
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) {
        return Opened::Failed;
    }
    if (linkStatus.st_uid != ::geteuid() && linkStatus.st_uid != st.st_uid) {
        fd.Reset();
        return Opened::LinkOfAnotherUser;
    }
    return Opened::Ok;
}

void SplitPath(const QByteArray& path, QByteArray& folder, QByteArray& name) {
    const qsizetype slash = path.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    name = path.mid(slash + 1);
}

bool RenameForbidden(int fd, const struct statx& st) {
    constexpr quint64 kForbidding = STATX_ATTR_APPEND | STATX_ATTR_IMMUTABLE;
    if ((st.stx_attributes_mask & kForbidding) == kForbidding) {
        return (st.stx_attributes & kForbidding) != 0;
    }
    // A file system without such flags has none.
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}
