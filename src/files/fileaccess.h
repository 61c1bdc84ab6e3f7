// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fd.h"
#include "filestore.h"

#include <QByteArray>

#include <sys/stat.h>

// How the store looks at a file and opens it: the stamp a save compares, and an open that
// follows only the symlinks a user may trust.

FileStamp StampOf(const struct stat& st);
FileStamp StampOf(const struct statx& st);

enum class Opened { Ok, Failed, LinkOfAnotherUser };

// Opens name in the folder open as folderFd with flags and reads its status into st. A
// symlink is followed only when this user owns it or it leads to a file of its own owner, as
// the kernel's protected symlinks do in sticky folders, here in every folder. The owner and the
// target are read from the link the name held when looked at, and the owners are compared on
// what was opened, so that nothing swapped in meanwhile is followed instead. Failed keeps the
// errno of the failing call.
Opened OpenChecked(int folderFd, const char* name, int flags, Fd& fd, struct stat& st);

// The folder path and the bare name of path.
void SplitPath(const QByteArray& path, QByteArray& folder, QByteArray& name);

// Whether the file or folder open as fd, whose status is st, may not be renamed over or into:
// append-only or immutable. Read from st where the file system reports those flags there: bench
// row "A replace", an ioctl fewer a save (strace -c -f).
bool RenameForbidden(int fd, const struct statx& st);
