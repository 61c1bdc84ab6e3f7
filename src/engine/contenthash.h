// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#define XXH_INLINE_ALL
#include <xxhash.h>

// A 128-bit hash of a file's content. A save compares the one of what it read with the one of
// what the file holds just before its rename, so that an edit the file's times do not show
// (coarse timestamps, times put back) is not overwritten; an undo compares the ones of what a
// replace wrote with what the file holds now.
struct ContentHash {
    quint64 low = 0;
    quint64 high = 0;
    friend bool operator==(const ContentHash&, const ContentHash&) = default;
};

// Hashes content given in pieces; the pieces' borders do not change the hash, which equals
// HashOf of the pieces joined.
class ContentHasher {
public:
    ContentHasher() { XXH3_128bits_reset(&state_); }
    void Add(QByteArrayView piece) {
        XXH3_128bits_update(&state_, piece.data(), std::size_t(piece.size()));
    }
    ContentHash Hash() const {
        const XXH128_hash_t hash = XXH3_128bits_digest(&state_);
        return {hash.low64, hash.high64};
    }

private:
    XXH3_state_t state_;
};

// The hash of content.
inline ContentHash HashOf(QByteArrayView content) {
    const XXH128_hash_t hash = XXH3_128bits(content.data(), std::size_t(content.size()));
    return {hash.low64, hash.high64};
}
