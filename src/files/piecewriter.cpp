// SPDX-License-Identifier: GPL-3.0-or-later
#include "piecewriter.h"

#include <fcntl.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// Writes pieces to a file through few system calls: small pieces are gathered in a buffer,
// large ones written from where they are. Once the file has grown by kWriteBehind bytes, its
// pages are sent to the disk while writing goes on, so that the sync at the end waits less.
// Bench rows "B replace" and "A replace, case-sensitive": without the write-behind 0.323 s
// and 0.277 s, with it 0.253 s and 0.240 s; without the gathering 0.266 s and 0.249 s, a gain
// inside the runs' spread (medians of 9 and 7, the engine alone, alternating builds).
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
        }
        return true;
    }

private:
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
};

}  // namespace

bool WriteContent(int fd, const NewContent& content) {
    PieceWriter writer(fd);
    return content.WriteTo([&](QByteArrayView piece) { return writer.Add(piece); }) &&
           writer.Flush();
}
