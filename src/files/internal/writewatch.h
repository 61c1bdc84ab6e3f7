// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Watches an open, read-only file for another program that writes it, from before a save
// until the save has decided: a read lease (where the file system and this process's rights
// allow one), which the kernel breaks when anyone opens the file for writing or truncates it,
// and a look at the flock and record locks others hold on it. The lease is kept through a
// break until End, so that such a program's open waits until then and its writes land in the
// file the save leaves in place.
class WriteWatch {
public:
    enum class Start {
        Watching,   // a lease is held
        Unwatched,  // no lease could be had here; only the content check guards the save
        InUse       // another program has the file open for writing, or locked
    };

    WriteWatch() = default;
    // Lets go of the lease.
    ~WriteWatch();
    WriteWatch(const WriteWatch&) = delete;
    WriteWatch& operator=(const WriteWatch&) = delete;

    // Whether another program holds an exclusive flock or a write lock on fd's file. Takes a
    // shared flock on fd when it can, which keeps programs that flock before writing out for as
    // long as fd is open.
    bool Locked(int fd);
    // Starts watching fd, which stays open for as long as the watch lasts. Where Locked took
    // its shared flock on fd and the lease is had, the locks are not looked at again: no
    // exclusive flock can be had meanwhile, and a write lock needs the file open for writing,
    // which the lease refuses. Bench row "A replace": a flock and an fcntl fewer a save.
    Start Begin(int fd);
    // Whether, since Begin, another program opened the file for writing or truncated it.
    // Always false for an unwatched file.
    bool Broken() const;
    // The descriptor the lease is held on, or -1 when unwatched.
    int LeaseFd() const { return fd_; }
    // Lets go of the lease at once: a program waiting to open the file goes on.
    void End();
    // Stops watching without a word to the system, for a caller that closes the descriptor
    // next, which ends the lease: bench row "A replace", an fcntl fewer a save.
    void Forget() { fd_ = -1; }

private:
    int fd_ = -1;
    int flocked_ = -1;  // the descriptor Locked took its shared flock on
};
