// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Finds where an occurrence may start, by two of its bytes: a start s such that the byte at
// s + near is one of two values and the byte at s + far is one of two values. Sixteen starts
// are tested at a time, so a pair of bytes that is rare in the text skips it at memory speed
// even when each byte alone is common. Bench row "A multi-line find": 0.27 s with it, 0.37 s
// with the first byte alone.
class PairScan {
public:
    PairScan(uchar near0, uchar near1, qsizetype near, uchar far0, uchar far1, qsizetype far)
        : near0_(near0), near1_(near1), far0_(far0), far1_(far1), near_(near), far_(far) {}

    // The first start s >= from with s + far < size that carries the pair, or -1.
    qsizetype Next(const uchar* data, qsizetype size, qsizetype from) const {
        const uchar* nearBytes = data + near_;
        const uchar* farBytes = data + far_;
        const qsizetype end = size - far_;  // starts lie before end
        qsizetype s = from;
#if defined(__SSE2__)
        const __m128i n0 = _mm_set1_epi8(static_cast<char>(near0_));
        const __m128i n1 = _mm_set1_epi8(static_cast<char>(near1_));
        const __m128i f0 = _mm_set1_epi8(static_cast<char>(far0_));
        const __m128i f1 = _mm_set1_epi8(static_cast<char>(far1_));
        for (; s + 16 <= end; s += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nearBytes + s));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(farBytes + s));
            const __m128i hit =
                _mm_and_si128(_mm_or_si128(_mm_cmpeq_epi8(x, n0), _mm_cmpeq_epi8(x, n1)),
                              _mm_or_si128(_mm_cmpeq_epi8(y, f0), _mm_cmpeq_epi8(y, f1)));
            const int mask = _mm_movemask_epi8(hit);
            if (mask != 0) {
                return s + __builtin_ctz(static_cast<unsigned>(mask));
            }
        }
#endif
        for (; s < end; ++s) {
            if ((nearBytes[s] == near0_ || nearBytes[s] == near1_) &&
                (farBytes[s] == far0_ || farBytes[s] == far1_)) {
                return s;
            }
        }
        return -1;
    }

private:
    uchar near0_;
    uchar near1_;
    uchar far0_;
    uchar far1_;
    qsizetype near_;
    qsizetype far_;
};
