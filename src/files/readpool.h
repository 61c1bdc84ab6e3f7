// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filestore.h"

#include <QByteArray>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

// Reads the files a run will come to next on threads of their own, so that their opening and
// reading overlap the run's work. The run reads the nearest files itself; the threads read
// those a little further on, and the run takes what they read when it comes to each file. The
// two meet through one atomic state per file and sleep only when there is nothing to do, so a
// file handed over costs no system call.
class ReadPool {
public:
    // What a read ahead gave, as the store's read gives it.
    struct Read {
        ReadOutcome outcome = ReadOutcome::CouldNotRead;
        QByteArray content;
        FileStamp stamp;
    };
    // Reads name in the folder open as folderFd into read; returns false, having read
    // nothing, for a file it leaves to the run (one too large to be copied, say). Called on the
    // pool's threads, several at a time.
    using Reader = std::function<bool(int folderFd, const QByteArray& name, Read& read)>;

    explicit ReadPool(Reader reader);
    // Stops the threads; what they read and nobody took is dropped.
    ~ReadPool();
    ReadPool(const ReadPool&) = delete;
    ReadPool& operator=(const ReadPool&) = delete;

    // Hands the entry name of the folder open as folderFd to the threads, in the order the run
    // will take them, and returns at once; dropped when too many wait. The folder stays open
    // until this object is gone. Hint and Take are called from one thread only.
    void Hint(int folderFd, const QByteArray& name);
    // What was read ahead of the entry name of folderFd, waiting for a thread that is reading
    // it; nothing when no thread has read it (then none will). Hints before it are dropped: the
    // run has passed them.
    std::optional<Read> Take(int folderFd, const QByteArray& name);

private:
    enum State : int { kEmpty, kHinted, kClaimed, kDone, kLeftToRun };
    struct Slot {
        std::atomic<int> state{kEmpty};
        int folderFd = -1;  // written while kEmpty, by the run
        QByteArray name;
        Read read;  // written while kClaimed, by the thread that claimed it
    };
    static constexpr std::uint64_t kSlots = 64;

    void Work();
    // Claims a hinted slot the threads may read now; null when there is none.
    Slot* Claim();
    // Waits until the thread reading slot has done; returns its state then.
    int AwaitRead(Slot& slot);
    // Lets the slot go, whatever a thread made of it; the run only.
    void Release(Slot& slot);
    void WakeThreads();

    Reader reader_;
    std::array<Slot, kSlots> slots_;
    std::uint64_t head_ = 0;  // the run's: the first slot not taken
    std::uint64_t tail_ = 0;  // the run's: the next slot to hint into
    std::atomic<std::uint64_t> taken_{0};
    std::atomic<std::uint64_t> published_{0};
    std::atomic<const Slot*> awaited_{nullptr};  // the slot the run waits for
    std::atomic<int> sleeping_{0};
    std::atomic<std::uint32_t> wake_{0};
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};
