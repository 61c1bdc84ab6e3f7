#include "replacer.h"

#include "pairscan.h"
#include "summary.h"

#include <QChar>
#include <QHash>
#include <QList>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

namespace {

using Token = char32_t;

// The token of a byte that is not part of valid UTF-8; no code point takes these values.
constexpr Token kRawByte = 0x80000000u;
// The token of a line break, "\n" or "\r\n"; neither a code point nor a byte takes it.
constexpr Token kLineBreak = 0x40000000u;

const uchar* Bytes(QByteArrayView view) {
    return reinterpret_cast<const uchar*>(view.data());
}

// The length of the valid UTF-8 sequence at p, with its code point in cp; 0 when the byte at
// p does not start one (overlong forms, surrogates and values past U+10FFFF are invalid).
int DecodeUtf8(const uchar* p, const uchar* end, char32_t& cp) {
    const uchar b0 = p[0];
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    }
    const auto cont = [](uchar b) { return (b & 0xC0) == 0x80; };
    const qsizetype left = end - p;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        if (left < 2 || !cont(p[1])) {
            return 0;
        }
        cp = (char32_t(b0 & 0x1F) << 6) | (p[1] & 0x3F);
        return 2;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        if (left < 3 || !cont(p[1]) || !cont(p[2])) {
            return 0;
        }
        if ((b0 == 0xE0 && p[1] < 0xA0) || (b0 == 0xED && p[1] > 0x9F)) {
            return 0;
        }
        cp = (char32_t(b0 & 0x0F) << 12) | (char32_t(p[1] & 0x3F) << 6) | (p[2] & 0x3F);
        return 3;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        if (left < 4 || !cont(p[1]) || !cont(p[2]) || !cont(p[3])) {
            return 0;
        }
        if ((b0 == 0xF0 && p[1] < 0x90) || (b0 == 0xF4 && p[1] > 0x8F)) {
            return 0;
        }
        cp = (char32_t(b0 & 0x07) << 18) | (char32_t(p[1] & 0x3F) << 12) |
             (char32_t(p[2] & 0x3F) << 6) | (p[3] & 0x3F);
        return 4;
    }
    return 0;
}

const std::array<Token, 128>& AsciiFold() {
    static const std::array<Token, 128> table = [] {
        std::array<Token, 128> t{};
        for (char32_t c = 0; c < 128; ++c) {
            t[c] = QChar::toCaseFolded(c);
        }
        return t;
    }();
    return table;
}

// Reads the unit at p (one valid code point, or one byte outside valid UTF-8) as its folded
// token and returns its length in bytes.
int FoldedUnit(const uchar* p, const uchar* end, Token& token) {
    if (p[0] < 0x80) {
        token = AsciiFold()[p[0]];
        return 1;
    }
    char32_t cp = 0;
    const int length = DecodeUtf8(p, end, cp);
    if (length == 0) {
        token = kRawByte | p[0];
        return 1;
    }
    token = QChar::toCaseFolded(cp);
    return length;
}

// Reads the unit at p as its token, a line break as kLineBreak, and returns its length in bytes.
// Other units are single bytes when caseSensitive, else as FoldedUnit reads them.
int LineUnit(const uchar* p, const uchar* end, bool caseSensitive, Token& token) {
    if (p[0] == '\n') {
        token = kLineBreak;
        return 1;
    }
    if (p[0] == '\r' && end - p >= 2 && p[1] == '\n') {
        token = kLineBreak;
        return 2;
    }
    if (caseSensitive) {
        token = p[0];
        return 1;
    }
    return FoldedUnit(p, end, token);
}

std::vector<Token> FoldedTokens(QByteArrayView text) {
    std::vector<Token> tokens;
    const uchar* p = Bytes(text);
    const uchar* end = p + text.size();
    while (p < end) {
        Token token = 0;
        p += FoldedUnit(p, end, token);
        tokens.push_back(token);
    }
    return tokens;
}

// The code points whose simple case folding is not themselves, grouped by their folding.
const QHash<char32_t, QList<char32_t>>& UnfoldedForms() {
    static const QHash<char32_t, QList<char32_t>> forms = [] {
        QHash<char32_t, QList<char32_t>> map;
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c >= 0xD800 && c <= 0xDFFF) {
                continue;
            }
            const char32_t folded = QChar::toCaseFolded(c);
            if (folded != c) {
                map[folded].append(c);
            }
        }
        return map;
    }();
    return forms;
}

uchar FirstUtf8Byte(char32_t cp) {
    if (cp < 0x80) {
        return uchar(cp);
    }
    if (cp < 0x800) {
        return uchar(0xC0 | (cp >> 6));
    }
    if (cp < 0x10000) {
        return uchar(0xE0 | (cp >> 12));
    }
    return uchar(0xF0 | (cp >> 18));
}

bool IsContinuationByte(uchar b) {
    return (b & 0xC0) == 0x80;
}

// Whether no valid UTF-8 sequence that starts before p covers p.
bool IsUnitStart(const uchar* data, const uchar* end, qsizetype p) {
    for (qsizetype q = p - 1; q >= 0 && q >= p - 3; --q) {
        char32_t cp = 0;
        const int length = DecodeUtf8(data + q, end, cp);
        if (length > 0 && q + length > p) {
            return false;
        }
    }
    return true;
}

// The bytes a unit read as the folded token first can start with, sorted. Returns whether
// first is a raw continuation byte, which inside a valid sequence is not a unit of its own.
bool FirstBytesOf(Token first, std::vector<uchar>& bytes) {
    if (first & kRawByte) {
        const uchar b = uchar(first & 0xFF);
        bytes.push_back(b);
        return IsContinuationByte(b);
    }
    bytes.push_back(FirstUtf8Byte(first));
    for (char32_t c : UnfoldedForms().value(first)) {
        bytes.push_back(FirstUtf8Byte(c));
    }
    std::sort(bytes.begin(), bytes.end());
    bytes.erase(std::unique(bytes.begin(), bytes.end()), bytes.end());
    return false;
}

// The next position at or after from that holds one of bytes, or -1. nextAt remembers where
// each of them occurs next (-2: not looked for yet) for one scan.
qsizetype NextOfBytes(const std::vector<uchar>& bytes, const uchar* data, qsizetype size,
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

// The text with each line break, "\n" or "\r\n", written as lineBreak.
QByteArray WithLineBreaks(const QByteArray& text, QByteArrayView lineBreak) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        if (text[i] == '\n') {
            out += lineBreak;
        } else {
            out += text[i];
        }
    }
    return out;
}

// How common a byte is in text, lower is more common; a byte pair scan looks for the two
// rarest bytes of the search text.
int ByteRank(uchar b) {
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

// The bytes a unit folding to token can be when every such unit is one ASCII byte (at most
// two: a letter's two cases); false when some form of it is not ASCII.
bool AsciiForms(Token token, uchar forms[2]) {
    if (token >= 0x80) {
        return false;
    }
    forms[0] = forms[1] = uchar(token);
    const QList<char32_t> others = UnfoldedForms().value(token);
    if (others.size() > 1 || (others.size() == 1 && others[0] >= 0x80)) {
        return false;
    }
    if (others.size() == 1) {
        forms[1] = uchar(others[0]);
    }
    return true;
}

}  // namespace

// The search text as folded tokens, and the bytes that can start an occurrence of it.
struct Replacer::Folded {
    std::vector<Token> tokens;
    std::vector<uchar> firstBytes;
    // The first token is a raw continuation byte: a candidate inside a valid sequence is
    // not a unit of its own and cannot start a match.
    bool checkBoundary = false;
    // Where the first two tokens can only be ASCII bytes: a scan for that byte pair.
    std::optional<PairScan> pair;

    explicit Folded(QByteArrayView find) : tokens(FoldedTokens(find)) {
        // The leading tokens that are single ASCII bytes in every form lie at fixed offsets.
        QList<std::array<uchar, 2>> forms;
        for (const Token token : tokens) {
            uchar pairOfForms[2] = {};
            if (!AsciiForms(token, pairOfForms)) {
                break;
            }
            forms.append({pairOfForms[0], pairOfForms[1]});
        }
        if (forms.size() >= 2) {
            qsizetype near = 0;
            qsizetype far = 0;
            RarestPair(
                qsizetype(forms.size()), [&](qsizetype i) { return ByteRank(forms[i][0]); }, near,
                far);
            pair.emplace(forms[near][0], forms[near][1], near, forms[far][0], forms[far][1], far);
        }
        checkBoundary = FirstBytesOf(tokens.front(), firstBytes);
    }

    // The next position at or after from that holds one of the first bytes, or -1.
    qsizetype NextCandidate(const uchar* data, qsizetype size, qsizetype from,
                            std::vector<qsizetype>& nextAt) const {
        return NextOfBytes(firstBytes, data, size, from, nextAt);
    }

    // The end of the occurrence that starts at p, or -1 when none starts there.
    qsizetype MatchAt(const uchar* data, const uchar* end, qsizetype p) const {
        const uchar* at = data + p;
        for (const Token expected : tokens) {
            if (at >= end) {
                return -1;
            }
            Token token = 0;
            at += FoldedUnit(at, end, token);
            if (token != expected) {
                return -1;
            }
        }
        return at - data;
    }
};

// A search text that holds a line break, or ends in a "\r", read as units with each line break
// one unit, and matched unit by unit against the content read the same way.
struct Replacer::Lines {
    bool caseSensitive;
    std::vector<Token> tokens;
    std::vector<uchar> firstBytes;
    // As in Folded: a first token that is a raw continuation byte needs a unit start.
    bool checkBoundary = false;
    // Where the units before the first line break include two single bytes at fixed offsets.
    // Row "A multi-line find": 0.27 s against 0.37 s with the first byte alone (medians of 11).
    std::optional<PairScan> pair;

    Lines(QByteArrayView find, bool sensitive) : caseSensitive(sensitive) {
        const uchar* p = Bytes(find);
        const uchar* end = p + find.size();
        while (p < end) {
            Token token = 0;
            p += LineUnit(p, end, caseSensitive, token);
            tokens.push_back(token);
        }
        QList<std::array<uchar, 2>> forms;
        for (const Token token : tokens) {
            uchar pairOfForms[2] = {uchar(token), uchar(token)};
            if (token == kLineBreak || (!caseSensitive && !AsciiForms(token, pairOfForms))) {
                break;
            }
            forms.append({pairOfForms[0], pairOfForms[1]});
        }
        if (forms.size() >= 2) {
            qsizetype near = 0;
            qsizetype far = 0;
            RarestPair(
                qsizetype(forms.size()), [&](qsizetype i) { return ByteRank(forms[i][0]); }, near,
                far);
            pair.emplace(forms[near][0], forms[near][1], near, forms[far][0], forms[far][1], far);
        }
        const Token first = tokens.front();
        if (first == kLineBreak) {
            firstBytes = {'\n', '\r'};
        } else if (caseSensitive) {
            firstBytes = {uchar(first)};
        } else {
            checkBoundary = FirstBytesOf(first, firstBytes);
        }
    }

    // The next position at or after from where an occurrence may start, or -1.
    qsizetype NextCandidate(const uchar* data, qsizetype size, qsizetype from,
                            std::vector<qsizetype>& nextAt) const {
        return pair ? pair->Next(data, size, from)
                    : NextOfBytes(firstBytes, data, size, from, nextAt);
    }

    // The end of the occurrence that starts at p, or -1 when none starts there.
    qsizetype MatchAt(const uchar* data, const uchar* end, qsizetype p) const {
        if (data[p] == '\n' && p > 0 && data[p - 1] == '\r') {
            return -1;  // inside a "\r\n"
        }
        if (checkBoundary && !IsUnitStart(data, end, p)) {
            return -1;
        }
        const uchar* at = data + p;
        for (const Token expected : tokens) {
            if (at >= end) {
                return -1;
            }
            Token token = 0;
            at += LineUnit(at, end, caseSensitive, token);
            if (token != expected) {
                return -1;
            }
        }
        return at - data;
    }
};

Replacer::Replacer(QByteArrayView find, QByteArrayView replacement, bool caseSensitive)
    : find_(find.toByteArray()),
      replacement_(replacement.toByteArray()),
      caseSensitive_(caseSensitive) {
    findHasLineBreak_ = find_.contains('\n');
    if (replacement_.contains('\n')) {
        replacementLf_ = WithLineBreaks(replacement_, "\n");
        replacementCrlf_ = WithLineBreaks(replacement_, "\r\n");
    }
    // A search text with no "\n" and no "\r" at its end can neither meet a line break nor
    // start or end inside a "\r\n": it keeps the byte and folded searches below.
    if (findHasLineBreak_ || find_.endsWith('\r')) {
        lines_ = std::make_unique<Lines>(find_, caseSensitive_);
        return;
    }
    if (!caseSensitive_ && !find_.isEmpty()) {
        folded_ = std::make_unique<Folded>(find_);
    }
    if (caseSensitive_ && find_.size() >= 2) {
        const auto* bytes = reinterpret_cast<const uchar*>(find_.constData());
        qsizetype near = 0;
        qsizetype far = 0;
        RarestPair(
            find_.size(), [&](qsizetype i) { return ByteRank(bytes[i]); }, near, far);
        exactPair_ =
            std::make_unique<PairScan>(bytes[near], bytes[near], near, bytes[far], bytes[far], far);
    }
}

Replacer::~Replacer() = default;

bool Replacer::IsFor(QByteArrayView find, QByteArrayView replacement, bool caseSensitive) const {
    return caseSensitive == caseSensitive_ && find == find_ && replacement == replacement_;
}

bool Replacer::FindNext(QByteArrayView content, qsizetype from, qsizetype& begin, qsizetype& end,
                        Scan& scan) const {
    // An occurrence needs at least one byte; an empty content may have no data pointer at all,
    // which memmem and memchr must not be given.
    if (find_.isEmpty() || from >= content.size()) {
        return false;
    }
    const uchar* data = Bytes(content);
    const qsizetype size = content.size();
    if (lines_) {
        for (qsizetype p = lines_->NextCandidate(data, size, from, scan.nextAt); p >= 0;
             p = lines_->NextCandidate(data, size, p + 1, scan.nextAt)) {
            const qsizetype matchEnd = lines_->MatchAt(data, data + size, p);
            if (matchEnd >= 0) {
                begin = p;
                end = matchEnd;
                return true;
            }
        }
        return false;
    }
    if (caseSensitive_) {
        return FindExact(data, size, from, begin, end);
    }
    const auto next = [&](qsizetype at) {
        return folded_->pair ? folded_->pair->Next(data, size, at)
                             : folded_->NextCandidate(data, size, at, scan.nextAt);
    };
    for (qsizetype p = next(from); p >= 0; p = next(p + 1)) {
        if (folded_->checkBoundary && !IsUnitStart(data, data + size, p)) {
            continue;
        }
        const qsizetype matchEnd = folded_->MatchAt(data, data + size, p);
        if (matchEnd >= 0) {
            begin = p;
            end = matchEnd;
            return true;
        }
    }
    return false;
}

bool Replacer::FindExact(const uchar* data, qsizetype size, qsizetype from, qsizetype& begin,
                         qsizetype& end) const {
    const qsizetype length = find_.size();
    if (!exactPair_) {
        const void* hit = std::memchr(data + from, find_[0], std::size_t(size - from));
        if (!hit) {
            return false;
        }
        begin = static_cast<const uchar*>(hit) - data;
        end = begin + 1;
        return true;
    }
    for (qsizetype p = exactPair_->Next(data, size, from); p >= 0;
         p = exactPair_->Next(data, size, p + 1)) {
        if (p + length > size) {
            return false;
        }
        if (std::memcmp(data + p, find_.constData(), std::size_t(length)) == 0) {
            begin = p;
            end = p + length;
            return true;
        }
    }
    return false;
}

QByteArrayView Replacer::ReplacementFor(QByteArrayView content, qsizetype begin, qsizetype end,
                                        Scan& scan) const {
    if (replacementLf_.isEmpty()) {
        return replacement_;
    }
    const char* data = content.data();
    bool crlf = false;
    if (findHasLineBreak_) {
        // The first "\n" of an occurrence ends its first line break, which lies wholly inside.
        const auto* lf =
            static_cast<const char*>(std::memchr(data + begin, '\n', std::size_t(end - begin)));
        crlf = lf > data + begin && lf[-1] == '\r';
    } else {
        if (scan.firstLineBreak < 0) {
            const auto* lf =
                static_cast<const char*>(std::memchr(data, '\n', std::size_t(content.size())));
            scan.firstLineBreak = lf && lf > data && lf[-1] == '\r' ? 1 : 0;
        }
        crlf = scan.firstLineBreak == 1;
    }
    return crlf ? replacementCrlf_ : replacementLf_;
}

bool Replacer::Contains(QByteArrayView content) const {
    qsizetype begin = 0;
    qsizetype end = 0;
    Scan scan;
    return FindNext(content, 0, begin, end, scan);
}

Replacer::Effect Replacer::EffectOn(QByteArrayView content) const {
    qsizetype begin = 0;
    qsizetype end = 0;
    Scan scan;
    if (!FindNext(content, 0, begin, end, scan)) {
        return Effect::NoOccurrence;
    }
    // While every occurrence so far is as long as the replacement, the new text lines up with
    // the old one, and the first occurrence that differs from the replacement changes it.
    do {
        const QByteArrayView match = content.sliced(begin, end - begin);
        const QByteArrayView replacement = ReplacementFor(content, begin, end, scan);
        if (match.size() != replacement.size()) {
            return ChangesByComparison(content) ? Effect::Changed : Effect::Unchanged;
        }
        if (match != replacement) {
            return Effect::Changed;
        }
    } while (FindNext(content, end, begin, end, scan));
    return Effect::Unchanged;
}

bool Replacer::ChangesByComparison(QByteArrayView content) const {
    qsizetype at = 0;  // how much of content the new text has matched so far
    const bool same = WritePieces(content, [&](QByteArrayView piece) {
        if (piece.size() > content.size() - at || piece != content.sliced(at, piece.size())) {
            return false;
        }
        at += piece.size();
        return true;
    });
    return !same || at != content.size();
}

bool Replacer::WritePieces(QByteArrayView content,
                           const std::function<bool(QByteArrayView)>& write) const {
    qsizetype begin = 0;
    qsizetype end = 0;
    qsizetype copiedTo = 0;
    Scan scan;
    for (qsizetype from = 0; FindNext(content, from, begin, end, scan); from = end) {
        const QByteArrayView replacement = ReplacementFor(content, begin, end, scan);
        if ((begin > copiedTo && !write(content.sliced(copiedTo, begin - copiedTo))) ||
            (!replacement.isEmpty() && !write(replacement))) {
            return false;
        }
        copiedTo = end;
    }
    return copiedTo == content.size() || write(content.sliced(copiedTo));
}

// Declared in summary.h, for the file-name lookup; defined here beside the folding it shares
// with the case-insensitive search.
QByteArray CaseFoldKey(QByteArrayView text) {
    const std::vector<Token> tokens = FoldedTokens(text);
    return QByteArray(reinterpret_cast<const char*>(tokens.data()),
                      qsizetype(tokens.size() * sizeof(Token)));
}
