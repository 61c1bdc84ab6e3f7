#pragma once

#include "fd.h"

#include <QByteArray>

// The temporary file of a save, made in the target's folder so that a rename can put it in
// the target's place. It has no name where the file system allows (O_TMPFILE) and a name
// ".quillmark-PID-RANDOM" otherwise; either way this process holds a shared flock on it for
// as long as it has it open, which is how a later run tells a live one from one a killed
// process left behind.
class TemporaryFile {
public:
    TemporaryFile() = default;
    // Removes the named file if it was not renamed.
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    // Creates the file in the folder open as folderFd; false, with errno set, when it cannot.
    bool Open(int folderFd);
    int fd() const { return fd_.get(); }
    // Whether the file system gave no unnamed file and a named one was made instead.
    bool Named() const { return !name_.isEmpty(); }
    // Puts the file in place of the entry target of the folder in one rename. An unnamed file
    // is linked and renamed by a child process, so that a kill of this one between the two
    // leaves no name behind. False when the file is not in place; then it has no name either.
    bool RenameOver(const QByteArray& target);
    // Closes the file (and lets go of its lock); the name, if not renamed, is removed.
    void Close();

private:
    int folderFd_ = -1;
    Fd fd_;
    QByteArray name_;  // empty while the file has no name
};

// Whether temporary files in the folder open as folderFd must be named: the file system
// makes no unnamed ones (O_TMPFILE). False also where no file may be made at all.
bool NeedsNamedTemporaries(int folderFd);

// Removes from the folder open as folderFd the named temporary files of this program that no
// live process holds: regular files owned by this user, named ".quillmark-" and more, whose
// flock is free. Folders, others' files and files held by a running save are kept.
void RemoveStaleTemporaries(int folderFd);
