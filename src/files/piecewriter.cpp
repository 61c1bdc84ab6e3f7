// SPDX-License-Identifier: GPL-3.0-or-later
#include "piecewriter.h"

#include <fcntl.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <future>
#include <memory>
#include <new>
#include <vector>

namespace {

// Writes pieces to a file through few system calls: small pieces are gathered in a buffer,
// large ones written from where they are. Once the file has grown by kWriteBehind bytes, its
// pages are sent to the disk while writing goes on, so that the sync at the end waits less.
// Bench rows "B replace" and "A replace, case-sensitive": without the write-behind 0.323 s
// and 0.277 s, with it 0.253 s and 0.240 s; without the gathering 0.266 s and 0.249 s, a gain
// inside the runs' spread (medians of 9 and 7, the engine alone, alternating builds).
// Pages sent more than kWriteBehind bytes back are waited for and dropped from the page cache,
// so a large file is written through the same few pages over and over.
class PieceWriter {
public:
    explicit PieceWriter(int fd) : fd_(fd) {}

    bool Add(QByteArrayView piece) {
        const std::size_t size = std::size_t(piece.size());
        if (size <= kSmallPiece) {
            if (!gathered_) {
                gathered_ = std::make_unique_for_overwrite<char[]>(kGatherSize);
            }
            if (gatheredSize_ + size > kGatherSize && !Flush()) {
                return false;
            }
            char* at = gathered_.get() + gatheredSize_;
            std::memcpy(at, piece.data(), size);
            gatheredSize_ += size;
            if (!pieces_.empty() &&
                static_cast<char*>(pieces_.back().iov_base) + pieces_.back().iov_len == at) {
                pieces_.back().iov_len += size;
            } else {
                pieces_.push_back({at, size});
            }
        } else {
            pieces_.push_back({const_cast<char*>(piece.data()), size});
        }
        pendingBytes_ += size;
        return (pieces_.size() < kMostPieces && pendingBytes_ < kFlushBytes) || Flush();
    }

    // Writes every piece added so far.
    bool Flush() {
        std::size_t first = 0;
        while (first < pieces_.size()) {
            const int count = int(std::min(pieces_.size() - first, kMostPieces));
            ssize_t written = ::writev(fd_, pieces_.data() + first, count);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            while (written > 0 && std::size_t(written) >= pieces_[first].iov_len) {
                written -= ssize_t(pieces_[first].iov_len);
                ++first;
            }
            if (written > 0) {
                pieces_[first].iov_base = static_cast<char*>(pieces_[first].iov_base) + written;
                pieces_[first].iov_len -= std::size_t(written);
            }
        }
        writtenBytes_ += qint64(pendingBytes_);
        pieces_.clear();
        gatheredSize_ = 0;
        pendingBytes_ = 0;
        if (writtenBytes_ - sentBytes_ >= kWriteBehind) {
            (void)::sync_file_range(fd_, sentBytes_, writtenBytes_ - sentBytes_,
                                    SYNC_FILE_RANGE_WRITE);
            sentBytes_ = writtenBytes_;
            // Bench row "G replace": a large file is written through the same pages again and
            // again, where new page-cache memory would cost a fault on the host at its first
            // touch on a machine that hands its free memory back.
            if (dropping_ && sentBytes_ - droppedBytes_ >= 2 * kWriteBehind && !DropBehind()) {
                return false;
            }
        }
        return true;
    }

private:
    // Waits for the pages sent a write-behind ago to reach the disk, and drops them. A failed
    // wait may have been the file's one report of a write error, which the sync would not see
    // again; a call refused before it waited (a sandbox, a file that has no pages) only ends
    // the dropping.
    bool DropBehind() {
        const qint64 end = sentBytes_ - kWriteBehind;
        const qint64 length = end - droppedBytes_;
        if (::sync_file_range(fd_, droppedBytes_, length,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                                  SYNC_FILE_RANGE_WAIT_AFTER) != 0) {
            dropping_ = false;
            return errno == ENOSYS || errno == EPERM || errno == EINVAL || errno == ESPIPE;
        }
        (void)::posix_fadvise(fd_, droppedBytes_, length, POSIX_FADV_DONTNEED);
        droppedBytes_ = end;
        return true;
    }

    static constexpr std::size_t kSmallPiece = 4096;
    static constexpr std::size_t kGatherSize = 256 * 1024;
    static constexpr std::size_t kMostPieces = IOV_MAX;
    static constexpr std::size_t kFlushBytes = 8 << 20;
    static constexpr qint64 kWriteBehind = 16 << 20;

    int fd_;
    std::vector<iovec> pieces_;
    std::unique_ptr<char[]> gathered_;
    std::size_t gatheredSize_ = 0;
    std::size_t pendingBytes_ = 0;
    qint64 writtenBytes_ = 0;
    qint64 sentBytes_ = 0;
    qint64 droppedBytes_ = 0;
    bool dropping_ = true;
};

// Writes pieces through a piece writer on a thread of its own, a buffer at a time: one buffer
// fills while the other is written, so the search and the write share the machine's cores.
// Bench row "G replace" (see WriteContent).
class HandingWriter {
public:
    explicit HandingWriter(int fd) : writer_(fd) {
        for (std::unique_ptr<char[]>& buffer : buffers_) {
            buffer.reset(new (std::nothrow) char[kBufferSize]);
        }
    }
    ~HandingWriter() {
        if (writing_.valid()) {
            writing_.wait();
        }
    }
    HandingWriter(const HandingWriter&) = delete;
    HandingWriter& operator=(const HandingWriter&) = delete;

    // Whether the buffers came; if not, this writer is not used.
    bool Started() const { return buffers_[0] && buffers_[1]; }

    bool Add(QByteArrayView piece) {
        while (!piece.isEmpty()) {
            const qsizetype size = std::min(piece.size(), kBufferSize - filled_);
            std::memcpy(buffers_[filling_].get() + filled_, piece.data(), std::size_t(size));
            filled_ += size;
            piece = piece.sliced(size);
            if (filled_ == kBufferSize && !HandOver()) {
                return false;
            }
        }
        return true;
    }

    bool Finish() {
        return WrittenBefore() &&
               (filled_ == 0 || Write(QByteArrayView(buffers_[filling_].get(), filled_)));
    }

private:
    static constexpr qsizetype kBufferSize = 8 << 20;

    bool Write(QByteArrayView full) { return writer_.Add(full) && writer_.Flush(); }

    // Whether the write under way, if any, went well.
    bool WrittenBefore() { return !writing_.valid() || writing_.get(); }

    // Starts the write of the full buffer and goes on filling the other one. Without a thread
    // to write on, or the memory to start one, the write is done here.
    bool HandOver() {
        if (!WrittenBefore()) {
            return false;
        }
        const QByteArrayView full(buffers_[filling_].get(), kBufferSize);
        filling_ ^= 1;
        filled_ = 0;
        try {
            writing_ = std::async(std::launch::async, [this, full] { return Write(full); });
            return true;
        } catch (const std::exception&) {  // std::system_error or std::bad_alloc
            return Write(full);
        }
    }

    PieceWriter writer_;  // used by one thread at a time
    std::unique_ptr<char[]> buffers_[2];
    int filling_ = 0;
    qsizetype filled_ = 0;
    std::future<bool> writing_;  // of the buffer not filling
};

// The size from which a file's content is handed to a thread to write.
constexpr qint64 kHandFrom = 64 << 20;

}  // namespace

bool WriteContent(int fd, const NewContent& content, qint64 expectedSize) {
    const auto writeWith = [&](auto& writer) {
        return content.WriteTo([&](QByteArrayView piece) { return writer.Add(piece); });
    };
    if (expectedSize >= kHandFrom) {
        if (HandingWriter writer(fd); writer.Started()) {
            return writeWith(writer) && writer.Finish();
        }
    }
    PieceWriter writer(fd);
    return writeWith(writer) && writer.Flush();
}
