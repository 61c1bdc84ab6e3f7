// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

// Starts files on their way from the disk before they are read: a thread of its own opens each
// path handed to it and asks the kernel to read the file into the cache in the background
// (POSIX_FADV_WILLNEED). The open itself, which waits for the file's inode on a cold disk,
// happens on that thread too. Hints that fall behind are dropped, never waited for. Once a
// stretch of files proves to be in memory already, it opens only one hint in a stretch to see
// whether that still holds, and each time it does the stretch grows; a file not in memory ends
// the rest.
class ReadAhead {
public:
    ReadAhead();
    // Stops the thread; hints not yet acted on are dropped.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Hands the entry name of the folder open as folderFd to the thread and returns at once.
    // The folder stays open until this object is gone. Called from one thread only.
    void Hint(int folderFd, const QByteArray& name);

private:
    void Work();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<int, QByteArray>> waiting_;
    bool stopping_ = false;
    int cachedInARow_ = 0;         // the thread's: files found in memory since one was not
    std::atomic<int> stretch_{1};  // one hint in this many is acted on; 1 unless resting
    int unqueued_ = 0;             // Hint's: hints dropped since one was handed on
    std::thread thread_;
};
