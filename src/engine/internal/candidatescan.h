// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pairscan.h"

#include <QList>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

// Where an occurrence may start: the helpers every matcher builds its candidate scan from.

inline void SortUnique(std::vector<uchar>& bytes) {
    std::sort(bytes.begin(), bytes.end());
    bytes.erase(std::unique(bytes.begin(), bytes.end()), bytes.end());
}

// The next position at or after from that holds one of bytes, or -1. nextAt remembers where
// each of them occurs next (-2: not looked for yet) for one scan.
inline qsizetype NextOfBytes(const std::vector<uchar>& bytes, const uchar* data, qsizetype size,
                             qsizetype from, std::vector<qsizetype>& nextAt) {
    nextAt.resize(bytes.size(), -2);
    qsizetype best = -1;
    for (std::size_t k = 0; k < bytes.size(); ++k) {
        qsizetype& at = nextAt[k];
        if (at == -2 || (at >= 0 && at < from)) {
            const void* hit = from < size
                                  ? std::memchr(data + from, bytes[k], std::size_t(size - from))
                                  : nullptr;
            at = hit ? static_cast<const uchar*>(hit) - data : -1;
        }
        if (at >= 0 && (best < 0 || at < best)) {
            best = at;
        }
    }
    return best;
}

// How common a byte is in text, lower is more common; a byte pair scan looks for the two
// rarest bytes of the search text.
inline int ByteRank(uchar b) {
    static constexpr char kCommonFirst[] =
        " etaoinsrhldcumfpgwybvkxjqz\neTAOISNRHLDCUMFPGWYBVKXJQZ.,0123456789-_=()\"';:/<>{}[]\t";
    const char* at = std::strchr(kCommonFirst, b);
    return b != 0 && at ? int(at - kCommonFirst) : int(sizeof kCommonFirst) + (b >= 0x80 ? 0 : 1);
}

// The two positions among the first count whose rank is lowest (rarest), near before far.
template <typename RankAt>
void RarestPair(qsizetype count, RankAt rankAt, qsizetype& near, qsizetype& far) {
    qsizetype rarest = 0;
    for (qsizetype i = 1; i < count; ++i) {
        if (rankAt(i) > rankAt(rarest)) {
            rarest = i;
        }
    }
    qsizetype second = rarest == 0 ? 1 : 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (i != rarest && rankAt(i) > rankAt(second)) {
            second = i;
        }
    }
    near = std::min(rarest, second);
    far = std::max(rarest, second);
}

// A pair scan over the two rarest of forms, each position's one or two byte values at
// offset position * stride + shift; none for fewer than two positions.
inline std::optional<PairScan> PairOf(const QList<std::array<uchar, 2>>& forms, qsizetype stride,
                                      qsizetype shift) {
    if (forms.size() < 2) {
        return std::nullopt;
    }
    qsizetype near = 0;
    qsizetype far = 0;
    RarestPair(
        qsizetype(forms.size()), [&](qsizetype i) { return ByteRank(forms[i][0]); }, near, far);
    return PairScan(forms[near][0], forms[near][1], near * stride + shift, forms[far][0],
                    forms[far][1], far * stride + shift);
}
