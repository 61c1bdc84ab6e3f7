// SPDX-License-Identifier: GPL-3.0-or-later
#include "filesave.h"

#include "extendedattributes.h"
#include "fileaccess.h"
#include "filehash.h"
#include "piecewriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <exception>
#include <optional>
#include <thread>

FileSave::FileSave(std::shared_ptr<StoreFolder> folder, QByteArray name, const FileStamp& readStamp,
                   const struct statx& entry)
    : folder_(std::move(folder)), name_(std::move(name)), readStamp_(readStamp), entry_(entry) {}

SaveOutcome FileSave::Check(Fd& read) {
    if (!S_ISREG(entry_.stx_mode)) {
        return SaveOutcome::NotRegularFile;
    }
    if (!(StampOf(entry_) == readStamp_)) {
        return SaveOutcome::ChangedByAnotherProgram;
    }
    if (entry_.stx_nlink > 1) {
        return SaveOutcome::SeveralHardLinks;
    }
    const int folderFd = folder_->fd();
    if (read.ok()) {
        // The file the read stamped, which the name still leads to as it was.
        old_.Reset(read.Release());
    } else {
        old_.Reset(::openat(folderFd, name_.constData(),
                            O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
        if (!old_.ok()) {
            return errno == ENOENT || errno == ELOOP ? SaveOutcome::ChangedByAnotherProgram
                                                     : SaveOutcome::CouldNotWrite;
        }
        struct stat st {};
        if (::fstat(old_.get(), &st) != 0) {
            return SaveOutcome::CouldNotWrite;
        }
        if (!S_ISREG(st.st_mode)) {
            return SaveOutcome::NotRegularFile;
        }
        if (!(StampOf(st) == readStamp_)) {
            return SaveOutcome::ChangedByAnotherProgram;
        }
    }
    // A rename would get around a missing write permission, also for root: check first.
    if (!(entry_.stx_mode & S_IWUSR) ||
        ::faccessat(folderFd, name_.constData(), W_OK, AT_EACCESS) != 0) {
        return SaveOutcome::ReadOnly;
    }
    // In an append-only or immutable folder, or over such a file, the rename would fail after
    // the temporary file was made: nothing is made.
    if (folder_->renameForbidden || RenameForbidden(old_.get(), entry_)) {
        return SaveOutcome::CouldNotWrite;
    }
    // A locked file is known in use before anything is written; one merely open for writing
    // only once the save takes its lease.
    if (watch_.Locked(old_.get())) {
        return SaveOutcome::InUse;
    }
    return SaveOutcome::Pending;
}

namespace {

// Reads one byte of every page of a large mapped content, on a thread of its own, a little ahead
// of the pass that hashes it: the first read of each page of a mapping costs the thread that
// makes it (a fault, and on this machine one on its host too), and the pass goes on meanwhile.
// It keeps at most kAhead bytes ahead, so that pages read from the disk under a tight memory
// limit are not dropped again before the pass reaches them. Bench row "G replace": ours' write
// 0.94 to 1.06 s without it, 0.74 to 0.96 s with it (5 and 4 runs, strace -tt).
class PageToucher {
public:
    explicit PageToucher(QByteArrayView content) : content_(content) {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::exception&) {  // no thread: the pass reads every page itself
        }
    }
    ~PageToucher() {
        stop_.store(true);
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    PageToucher(const PageToucher&) = delete;
    PageToucher& operator=(const PageToucher&) = delete;

    void Reached(qsizetype at) { reached_.store(at, std::memory_order_relaxed); }

    static constexpr qsizetype kFrom = qsizetype(64) << 20;

private:
    static constexpr qsizetype kPage = 4096;
    static constexpr qsizetype kAhead = qsizetype(64) << 20;

    void Run() {
        volatile char sink = 0;
        qsizetype at = 0;
        while (!stop_.load(std::memory_order_relaxed)) {
            const qsizetype reached = reached_.load(std::memory_order_relaxed);
            if (at > reached + kAhead) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
                continue;
            }
            at = std::max(at, reached / kPage * kPage);  // pages the pass read already are passed
            if (at >= content_.size()) {
                break;
            }
            sink = content_[at];
            at += kPage;
        }
        Q_UNUSED(sink);
    }

    QByteArrayView content_;
    std::atomic<qsizetype> reached_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The new content, with the old content hashed as the write goes: each span of it carried over
// is hashed, with what was replaced before it, just before it is written. Bench row "B
// replace": a large file is read once for the hash and the write.
class HashingOld : public NewContent {
public:
    HashingOld(const NewContent& content, QByteArrayView old, PageToucher* toucher)
        : content_(content), old_(old), toucher_(toucher) {}
    bool WriteTo(const std::function<bool(QByteArrayView)>& write) const override {
        return content_.WriteTo([&](QByteArrayView piece) {
            if (const qsizetype at = OffsetWithin(old_, piece); at >= 0) {
                HashUpTo(at + piece.size());
            }
            return write(piece);
        });
    }
    ContentHash Hash() const {
        HashUpTo(old_.size());
        return hasher_.Hash();
    }

private:
    // In steps, so that the toucher keeps ahead within a long span too.
    void HashUpTo(qsizetype end) const {
        while (hashedTo_ < end) {
            const qsizetype step = std::min(end - hashedTo_, kStep);
            hasher_.Add(old_.sliced(hashedTo_, step));
            hashedTo_ += step;
            if (toucher_) {
                toucher_->Reached(hashedTo_);
            }
        }
    }

    static constexpr qsizetype kStep = qsizetype(8) << 20;

    const NewContent& content_;
    QByteArrayView old_;
    PageToucher* toucher_;
    mutable ContentHasher hasher_;
    mutable qsizetype hashedTo_ = 0;
};

}  // namespace

SaveOutcome FileSave::Write(QByteArrayView oldContent, const NewContent& content,
                            const std::shared_ptr<MappedFile>& lastRead) {
    if (lastRead && !oldContent.isEmpty() && oldContent.data() == lastRead->View().data()) {
        mapping_ = lastRead;
    }
    const uid_t owner = entry_.stx_uid;
    const gid_t group = entry_.stx_gid;
    const mode_t mode = entry_.stx_mode & 07777;
    // A file that gets the target's owner and group without a chown is made with its
    // permission bits: it lets in no one the target keeps out, and seldom needs a chmod. Bench
    // row "A replace": an fchown and an fchmod fewer a save (strace -c -f).
    const bool ownedAlready = owner == folder_->newFileOwner && group == folder_->newFileGroup;
    folder_->savedInto = true;
    if (!temporary_.Open(folder_->fd(), ownedAlready ? mode & 0777 : 0600)) {
        return SaveOutcome::CouldNotWrite;
    }
    const int fd = temporary_.fd();
    std::optional<PageToucher> toucher;
    if (mapping_ && oldContent.size() >= PageToucher::kFrom) {
        toucher.emplace(oldContent);
    }
    const HashingOld hashing(content, oldContent, toucher ? &*toucher : nullptr);
    if (!WriteContent(fd, hashing, oldContent.size()) || (lastRead && lastRead->Damaged())) {
        return WriteFailed();
    }
    oldHash_ = hashing.Hash();
    struct stat written {};
    if (::fstat(fd, &written) != 0) {
        return SaveOutcome::CouldNotWrite;
    }
    bool changed = false;
    if (written.st_uid != owner || written.st_gid != group) {
        // Owner first: a change of owner clears the setuid and setgid bits that fchmod
        // restores. Failing that, the group alone: the check below refuses a file that did not
        // get both.
        const bool owned = ::fchown(fd, owner, group) == 0 || ::fchown(fd, uid_t(-1), group) == 0;
        Q_UNUSED(owned);
        changed = true;
    }
    if (changed || (written.st_mode & 07777) != mode) {
        if (::fchmod(fd, mode) != 0) {
            return SaveOutcome::CouldNotWrite;
        }
        changed = true;
    }
    if (!CopyExtendedAttributes(old_.get(), fd, changed) ||
        (changed && ::fstat(fd, &written) != 0)) {
        return SaveOutcome::CouldNotWrite;
    }
    // Without the rights to give the file its owner and group (or, not being in its group,
    // to set its setgid bit), a save would hand another user's file to this one.
    if (written.st_uid != owner || written.st_gid != group || (written.st_mode & 07777) != mode) {
        return SaveOutcome::CouldNotWrite;
    }
    newKey_ = {quint64(written.st_dev), quint64(written.st_ino)};
    return SaveOutcome::Pending;
}

SaveOutcome FileSave::WriteFailed() const {
    // A mapped file that shrank since the read leaves holes the write cannot fill.
    struct stat now {};
    return ::fstat(old_.get(), &now) == 0 && StampOf(now) == readStamp_
               ? SaveOutcome::CouldNotWrite
               : SaveOutcome::ChangedByAnotherProgram;
}

bool FileSave::HoldsAsRead() const {
    if (mapping_) {
        return !mapping_->Damaged() && HashOf(mapping_->View()) == oldHash_;
    }
    ContentHash now;
    return HashOfFile(old_.get(), readStamp_.size, now) && now == oldHash_;
}

SaveReport FileSave::Complete() {
    SaveReport report;
    report.replaced = oldHash_;
    report.outcome = [&] {
        if (::fsync(temporary_.fd()) != 0) {
            return SaveOutcome::CouldNotWrite;
        }
        // From here until the save has decided, a program that opens the file for writing
        // waits, and the save sees it: the lease comes before the last look at the content.
        if (watch_.Begin(old_.get()) == WriteWatch::Start::InUse) {
            return SaveOutcome::InUse;
        }
        // The stamp is the cheap first look: the name still leads to the file held open, as it
        // was read. The content is the proof, for an edit that left the times as they were
        // (coarse timestamps, times put back).
        struct stat named {};
        if (::fstatat(folder_->fd(), name_.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !(StampOf(named) == readStamp_) || !HoldsAsRead()) {
            return SaveOutcome::ChangedByAnotherProgram;
        }
        switch (temporary_.PutInPlace(name_, watch_)) {
            case TemporaryFile::Placed::Yes:
                break;
            case TemporaryFile::Placed::InUse:
                return SaveOutcome::InUse;
            case TemporaryFile::Placed::TargetGone:
                return SaveOutcome::ChangedByAnotherProgram;
            case TemporaryFile::Placed::No:
                return SaveOutcome::CouldNotWrite;
        }
        struct stat written {};
        if (::fstat(temporary_.fd(), &written) == 0) {
            report.written = StampOf(written);
        }
        return SaveOutcome::Saved;
    }();
    return report;
}

void FileSave::LetGo() {
    watch_.Forget();
    old_.Reset();
    temporary_.Close();
    mapping_.reset();
}
