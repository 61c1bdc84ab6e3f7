// SPDX-License-Identifier: GPL-3.0-or-later
#include "filehash.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

bool HashOfFile(int fd, qint64 size, ContentHash& hash) {
    constexpr std::size_t kChunk = 1 << 20;
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) {
        buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    }
    ContentHasher hasher;
    qint64 offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.get(), kChunk, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        // A file of one chunk or less is hashed at once; a short read there is its end.
        if (offset == 0 && size <= qint64(kChunk) && std::size_t(got) < kChunk) {
            hash = HashOf({buffer.get(), got});
            return true;
        }
        if (got == 0) {
            hash = hasher.Hash();
            return true;
        }
        hasher.Add({buffer.get(), got});
        offset += got;
    }
}
