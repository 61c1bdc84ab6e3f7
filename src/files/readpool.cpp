// SPDX-License-Identifier: GPL-3.0-or-later
#include "readpool.h"

#include <algorithm>

namespace {

// Bench rows "find" against rg with its threads: how far ahead of the run the threads read,
// and how many of the nearest files they leave to the run, which seldom then waits for a file
// a thread is still reading.
constexpr std::uint64_t kAhead = 24;
constexpr std::uint64_t kLeftToRun = 2;

}  // namespace

ReadPool::ReadPool(Reader reader) : reader_(std::move(reader)) {
    // The run's own thread reads too: one core is its.
    const unsigned cores = std::max(2U, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < std::min(cores - 1, 4U); ++i) {
        threads_.emplace_back(&ReadPool::Work, this);
    }
}

ReadPool::~ReadPool() {
    stopping_.store(true);
    WakeThreads();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void ReadPool::Hint(int folderFd, const QByteArray& name) {
    if (tail_ - head_ == kSlots) {
        return;
    }
    Slot& slot = slots_[tail_ % kSlots];
    slot.folderFd = folderFd;
    // A copy of its own: the name's shared bytes are not handed from thread to thread.
    slot.name = QByteArray(name.constData(), name.size());
    slot.state.store(kHinted, std::memory_order_release);
    published_.store(++tail_);
    if (sleeping_.load() > 0) {
        WakeThreads();
    }
}

std::optional<ReadPool::Read> ReadPool::Take(int folderFd, const QByteArray& name) {
    std::uint64_t at = head_;
    while (at < tail_ &&
           !(slots_[at % kSlots].folderFd == folderFd && slots_[at % kSlots].name == name)) {
        ++at;
    }
    if (at == tail_) {
        return std::nullopt;
    }
    for (; head_ < at; ++head_) {
        Release(slots_[head_ % kSlots]);
    }
    Slot& slot = slots_[head_ % kSlots];
    int expected = kHinted;
    std::optional<Read> read;
    if (!slot.state.compare_exchange_strong(expected, kEmpty, std::memory_order_acq_rel) &&
        AwaitRead(slot) == kDone) {
        read = std::move(slot.read);
    }
    Release(slot);
    taken_.store(++head_);
    // The threads that wait for the run are woken once it has taken a few files.
    if (head_ % 8 == 0 && sleeping_.load() > 0) {
        WakeThreads();
    }
    return read;
}

int ReadPool::AwaitRead(Slot& slot) {
    int state = slot.state.load(std::memory_order_acquire);
    for (int spin = 0; state == kClaimed && spin < 200; ++spin) {
        std::this_thread::yield();
        state = slot.state.load(std::memory_order_acquire);
    }
    if (state == kClaimed) {
        awaited_.store(&slot);
        while ((state = slot.state.load()) == kClaimed) {
            slot.state.wait(kClaimed);
        }
        awaited_.store(nullptr);
    }
    return state;
}

void ReadPool::Release(Slot& slot) {
    int expected = kHinted;
    if (!slot.state.compare_exchange_strong(expected, kEmpty) && expected == kClaimed) {
        AwaitRead(slot);
    }
    slot.read = Read();
    slot.name.clear();
    slot.folderFd = -1;
    slot.state.store(kEmpty, std::memory_order_release);
}

void ReadPool::WakeThreads() {
    wake_.fetch_add(1);
    wake_.notify_all();
}

ReadPool::Slot* ReadPool::Claim() {
    const std::uint64_t taken = taken_.load();
    const std::uint64_t end = std::min(published_.load(), taken + kAhead);
    for (std::uint64_t at = taken + kLeftToRun; at < end; ++at) {
        Slot& slot = slots_[at % kSlots];
        int expected = kHinted;
        if (slot.state.load(std::memory_order_relaxed) == kHinted &&
            slot.state.compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel)) {
            return &slot;
        }
    }
    return nullptr;
}

void ReadPool::Work() {
    while (!stopping_.load()) {
        Slot* slot = Claim();
        if (!slot) {
            const std::uint32_t seen = wake_.load();
            sleeping_.fetch_add(1);
            slot = Claim();
            if (!slot && !stopping_.load()) {
                wake_.wait(seen);
            }
            sleeping_.fetch_sub(1);
            if (!slot) {
                continue;
            }
        }
        Read read;
        const bool done = reader_(slot->folderFd, slot->name, read);
        if (done) {
            slot->read = std::move(read);
        }
        slot->state.store(done ? kDone : kLeftToRun);
        if (awaited_.load() == slot) {
            slot->state.notify_all();
        }
    }
}
