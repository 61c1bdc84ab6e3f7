// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fd.h"
#include "writewatch.h"

#include <QByteArray>

#include <sys/types.h>

// The temporary file of a save, made in the target's folder so that a rename can put it in
// the target's place. It has no name where the file system allows (O_TMPFILE) until it is put
// in place, and a name ".quillmark-PID-RANDOM" otherwise; either way this process holds a
// shared flock on it for as long as it has it open, which is how a later run tells a live one
// from one a killed process left behind.
class TemporaryFile {
public:
    TemporaryFile() = default;
    // Removes the named file if it was not renamed.
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file in the folder open as folderFd, an unnamed one with the permission bits
    // mode (less the umask), a named one, which others could open by its name, with 0600; false,
    // with errno set, when it cannot.
    bool Open(int folderFd, mode_t mode);
    int fd() const { return fd_.get(); }
    // Whether the file has a name of its own in the folder.
    bool Named() const { return !name_.isEmpty(); }
    enum class Placed {
        Yes,         // the file is in the target's place
        InUse,       // another program opened the target meanwhile; it is back in place
        TargetGone,  // no entry target was there any more
        No           // it could not be put in place
    };
    // Puts the file in place of the entry target of the folder: an unnamed file is linked
    // under a fresh name first, then the two are exchanged where the file system can, and the
    // lease watch holds on the target is looked at once more before the old file goes;
    // elsewhere it is one rename, made only while the lease holds. Either way the file has no
    // name of its own afterwards. A kill between two steps leaves a ".quillmark-PID-RANDOM",
    // which RemoveStaleTemporaries removes.
    Placed PutInPlace(const QByteArray& target, const WriteWatch& watch);
    // Closes the file (and lets go of its lock); the name, if not renamed, is removed.
    void Close();

private:
    // Removes the file's name, if it has one.
    void RemoveName();

    int folderFd_ = -1;
    Fd fd_;
    QByteArray name_;  // empty while the file has no name
};

// Removes from the folder open as folderFd the named temporary files of this program that
// killed runs left: regular files owned by this user, named exactly ".quillmark-PID-RANDOM"
// (PID in digits, RANDOM in digits and lower-case letters), whose PID names no live process
// and whose flock is free. Anything else is kept.
void RemoveStaleTemporaries(int folderFd);
