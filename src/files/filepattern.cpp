// SPDX-License-Identifier: GPL-3.0-or-later
#include "filepattern.h"

#include "textdecoding.h"

#include <QChar>
#include <QCoreApplication>

#include <algorithm>

namespace {

// Values of a pattern that stand for no unit of a name (code points end at 0x10FFFF, raw
// units have bits above).
constexpr char32_t kAnyRun = 0x10000000u;
constexpr char32_t kAnyOne = 0x10000001u;
constexpr char32_t kSetBase = 0x11000000u;

// Whether every "[" of pattern opens a set that a later "]" closes.
bool SetsBalanced(const QString& pattern) {
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != QLatin1Char('[')) {
            continue;
        }
        // A "]" right after "[" (or "[!") is a member of the set, not its end.
        qsizetype j = i + 1;
        if (j < pattern.size() && pattern[j] == QLatin1Char('!')) {
            ++j;
        }
        if (j < pattern.size() && pattern[j] == QLatin1Char(']')) {
            ++j;
        }
        const qsizetype close = pattern.indexOf(QLatin1Char(']'), j);
        if (close < 0) {
            return false;
        }
        i = close;
    }
    return true;
}

// The unit at p as its folded token; ASCII without a call.
inline int Unit(const uchar* p, const uchar* end, char32_t& token) {
    if (*p < 0x80) {
        token = (*p >= 'A' && *p <= 'Z') ? char32_t(*p + ('a' - 'A')) : char32_t(*p);
        return 1;
    }
    return FoldedUnit(p, end, token);
}

}  // namespace

std::optional<FilePattern> FilePattern::Parse(const QString& text, QString& error) {
    FilePattern filter;
    const QStringList parts = text.split(QLatin1Char(';'));
    for (const QString& part : parts) {
        const QString pattern = part.trimmed();
        if (pattern.isEmpty()) {
            continue;
        }
        if (pattern.contains(QLatin1Char('/'))) {
            error = QCoreApplication::translate("FilePattern", "A file name cannot contain \"/\".");
            return std::nullopt;
        }
        if (!SetsBalanced(pattern)) {
            error = QCoreApplication::translate("FilePattern",
                                                "The pattern \"%1\" opens a \"[\" "
                                                "set that it does not close.")
                        .arg(pattern);
            return std::nullopt;
        }
        if (pattern == QLatin1String("*.*") || pattern == QLatin1String("*")) {
            filter.matchesAll_ = true;
            continue;
        }
        const std::u32string chars = pattern.toStdU32String();
        std::u32string units;
        for (std::size_t i = 0; i < chars.size(); ++i) {
            const char32_t c = chars[i];
            if (c == U'*') {
                units += kAnyRun;
            } else if (c == U'?') {
                units += kAnyOne;
            } else if (c != U'[') {
                units += Fold(c);
            } else {
                Set set;
                ++i;
                if (chars[i] == U'!' || chars[i] == U'^') {
                    set.negated = true;
                    ++i;
                }
                // The first member may be "]"; balance was checked above.
                const std::size_t first = i;
                bool reversed = false;
                for (; i < chars.size() && (i == first || chars[i] != U']'); ++i) {
                    Range range{chars[i], chars[i]};
                    if (i + 2 < chars.size() && chars[i + 1] == U'-' && chars[i + 2] != U']') {
                        range.high = chars[i + 2];
                        i += 2;
                    }
                    reversed = reversed || range.low > range.high;
                    set.ranges.append(range);
                }
                if (i >= chars.size() || reversed) {
                    error = QCoreApplication::translate("FilePattern",
                                                        "The pattern \"%1\" is not valid.")
                                .arg(pattern);
                    return std::nullopt;
                }
                units += char32_t(kSetBase + char32_t(filter.sets_.size()));
                filter.sets_.append(set);
            }
        }
        Pattern compiled{units, {}};
        if (units.size() > 1 && units[0] == kAnyRun &&
            std::all_of(units.cbegin() + 1, units.cend(), [](char32_t u) { return u < 0x80; })) {
            for (std::size_t u = 1; u < units.size(); ++u) {
                compiled.asciiTail.append(char(units[u]));
            }
        }
        filter.patterns_.append(compiled);
    }
    if (filter.patterns_.isEmpty()) {
        filter.matchesAll_ = true;
    }
    return filter;
}

bool FilePattern::InSet(const Set& set, char32_t token) const {
    // A member matches a unit of either case: the folded unit, or its upper case for ranges
    // written in capitals ("[A-Z]").
    const char32_t upper = token < 0x110000 ? QChar::toUpper(token) : token;
    bool in = false;
    for (const Range& range : set.ranges) {
        if (range.low == range.high) {
            in = Fold(range.low) == token;
        } else {
            in = (token >= range.low && token <= range.high) ||
                 (upper >= range.low && upper <= range.high);
        }
        if (in) {
            break;
        }
    }
    return in != set.negated;
}

bool FilePattern::MatchesOne(const std::u32string& pattern, QByteArrayView name) const {
    const char32_t* p = pattern.data();
    const char32_t* const pEnd = p + pattern.size();
    const auto* s = reinterpret_cast<const uchar*>(name.data());
    const uchar* const sEnd = s + name.size();
    // On a mismatch after a "*", that "*" takes one more unit and matching goes on from there.
    const char32_t* starP = nullptr;
    const uchar* starS = nullptr;
    while (s < sEnd) {
        if (p < pEnd && *p == kAnyRun) {
            starP = ++p;
            starS = s;
            continue;
        }
        char32_t token = 0;
        const int length = Unit(s, sEnd, token);
        if (p < pEnd && (*p == kAnyOne || *p == token ||
                         (*p >= kSetBase && InSet(sets_[qsizetype(*p - kSetBase)], token)))) {
            ++p;
            s += length;
            continue;
        }
        if (!starP) {
            return false;
        }
        char32_t skipped = 0;
        starS += Unit(starS, sEnd, skipped);
        s = starS;
        p = starP;
    }
    while (p < pEnd && *p == kAnyRun) {
        ++p;
    }
    return p == pEnd;
}

bool FilePattern::Matches(QByteArrayView name) const {
    if (matchesAll_) {
        return true;
    }
    for (const Pattern& pattern : patterns_) {
        // An ASCII end is compared byte by byte; a name whose end is not ASCII, where a
        // character may fold to ASCII, takes the whole way (bench row K: one key in the filter).
        const qsizetype tail = pattern.asciiTail.size();
        if (tail > 0 && name.size() >= tail) {
            const auto* end = reinterpret_cast<const uchar*>(name.data()) + name.size() - tail;
            bool ascii = true;
            bool equal = true;
            for (qsizetype k = 0; k < tail && ascii; ++k) {
                const uchar c = end[k];
                ascii = c < 0x80;
                const char lower = char((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c);
                equal = equal && lower == pattern.asciiTail[k];
            }
            if (ascii) {
                if (equal) {
                    return true;
                }
                continue;
            }
        } else if (tail > 0) {
            continue;
        }
        if (MatchesOne(pattern.units, name)) {
            return true;
        }
    }
    return false;
}
