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
    static bool Locked(int fd);
    // Starts watching fd, which stays open for as long as the watch lasts.
    Start Begin(int fd);
    // Whether, since Begin, another program opened the file for writing or truncated it.
    // Always false for an unwatched file.
    bool Broken() const;
    // The descriptor the lease is held on, or -1 when unwatched.
    int LeaseFd() const { return fd_; }
    // Lets go of the lease at once: a program waiting to open the file goes on.
    void End();

private:
    int fd_ = -1;
};
