#include "contenthash.h"

#include <xxhash.h>

#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {

ContentHash FromXxh(XXH128_hash_t hash) {
    return {hash.low64, hash.high64};
}

struct StateDeleter {
    void operator()(XXH3_state_t* state) const { XXH3_freeState(state); }
};

}  // namespace

ContentHash HashOf(QByteArrayView content) {
    return FromXxh(XXH3_128bits(content.data(), std::size_t(content.size())));
}

bool HashOfFile(int fd, qint64 size, ContentHash& hash) {
    constexpr std::size_t kChunk = 1 << 20;
    thread_local std::unique_ptr<char[]> buffer;
    if (!buffer) {
        buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    }
    // A file of one chunk or less is hashed at once, as HashOf does; a longer one streams.
    std::unique_ptr<XXH3_state_t, StateDeleter> state;
    qint64 offset = 0;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer.get(), kChunk, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (!state && offset == 0 && size <= qint64(kChunk) && std::size_t(got) < kChunk) {
            hash = FromXxh(XXH3_128bits(buffer.get(), std::size_t(got)));
            return true;
        }
        if (!state) {
            state.reset(XXH3_createState());
            if (!state || XXH3_128bits_reset(state.get()) == XXH_ERROR) {
                return false;
            }
        }
        if (got == 0) {
            hash = FromXxh(XXH3_128bits_digest(state.get()));
            return true;
        }
        XXH3_128bits_update(state.get(), buffer.get(), std::size_t(got));
        offset += got;
    }
}
