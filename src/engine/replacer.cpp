#include "replacer.h"

#include "matcher.h"
#include "pairscan.h"
#include "textdecoding.h"

#include <QList>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

const uchar* Bytes(QByteArrayView view) {
    return reinterpret_cast<const uchar*>(view.data());
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

void SortUnique(std::vector<uchar>& bytes) {
    std::sort(bytes.begin(), bytes.end());
    bytes.erase(std::unique(bytes.begin(), bytes.end()), bytes.end());
}

// The bytes a UTF-8 unit read as the folded token first can start with, sorted. Returns whether
// first is a raw continuation byte, which inside a valid sequence is not a unit of its own.
bool FirstBytesOf(Token first, std::vector<uchar>& bytes) {
    if (first & kRawByte) {
        const uchar b = uchar(first & 0xFF);
        bytes.push_back(b);
        return IsContinuationByte(b);
    }
    bytes.push_back(FirstUtf8Byte(first));
    for (char32_t c : UnfoldedForms(first)) {
        bytes.push_back(FirstUtf8Byte(c));
    }
    SortUnique(bytes);
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

// A pair scan over the two rarest of forms, each position's one or two byte values at
// offset position * stride + shift; none for fewer than two positions.
std::optional<PairScan> PairOf(const QList<std::array<uchar, 2>>& forms, qsizetype stride,
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

// The bytes a unit folding to token can be when every such unit is one ASCII byte (at most
// two: a letter's two cases); false when some form of it is not ASCII.
bool AsciiForms(Token token, uchar forms[2]) {
    if (token >= 0x80) {
        return false;
    }
    forms[0] = forms[1] = uchar(token);
    const QList<char32_t>& others = UnfoldedForms(token);
    if (others.size() > 1 || (others.size() == 1 && others[0] >= 0x80)) {
        return false;
    }
    if (others.size() == 1) {
        forms[1] = uchar(others[0]);
    }
    return true;
}

// The case-sensitive search in UTF-8 (bytes): a two-byte signature scan, then a comparison.
class ExactMatcher : public Matcher {
public:
    explicit ExactMatcher(const QByteArray& find) : find_(find) {
        if (find_.size() >= 2) {
            const uchar* bytes = Bytes(find_);
            qsizetype near = 0;
            qsizetype far = 0;
            RarestPair(
                find_.size(), [&](qsizetype i) { return ByteRank(bytes[i]); }, near, far);
            pair_.emplace(bytes[near], bytes[near], near, bytes[far], bytes[far], far);
        }
    }

    bool FindAt(QByteArrayView content, qsizetype from, qsizetype& begin, qsizetype& end,
                std::vector<qsizetype>&) const override {
        const uchar* data = Bytes(content);
        const qsizetype size = content.size();
        const qsizetype length = find_.size();
        if (!pair_) {
            const void* hit = std::memchr(data + from, find_[0], std::size_t(size - from));
            if (!hit) {
                return false;
            }
            begin = static_cast<const uchar*>(hit) - data;
            end = begin + 1;
            return true;
        }
        for (qsizetype p = pair_->Next(data, size, from); p >= 0;
             p = pair_->Next(data, size, p + 1)) {
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

private:
    QByteArray find_;
    std::optional<PairScan> pair_;
};

// How a unit search reads UTF-8 content: FoldedUnits folds case and reads every byte of a line
// break on its own; LineUnits reads a line break as one unit, in either case mode.
struct FoldedUnits {
    static constexpr bool kLineBreaks = false;
    int operator()(const uchar* p, const uchar* end, Token& token) const {
        return FoldedUnit(p, end, token);
    }
};
struct LineUnits {
    static constexpr bool kLineBreaks = true;
    bool caseSensitive = false;
    int operator()(const uchar* p, const uchar* end, Token& token) const {
        return LineUnit(p, end, caseSensitive, token);
    }
};

// A search in UTF-8 for the search text read as units: the text as tokens, the bytes that can
// start an occurrence of it, and a comparison unit by unit.
template <class Units>
class UnitMatcher : public Matcher {
public:
    bool FindAt(QByteArrayView content, qsizetype from, qsizetype& begin, qsizetype& end,
                std::vector<qsizetype>& nextAt) const override {
        const uchar* data = Bytes(content);
        const qsizetype size = content.size();
        const auto next = [&](qsizetype at) {
            return pair_ ? pair_->Next(data, size, at)
                         : NextOfBytes(firstBytes_, data, size, at, nextAt);
        };
        for (qsizetype p = next(from); p >= 0; p = next(p + 1)) {
            const qsizetype matchEnd = MatchAt(data, data + size, p);
            if (matchEnd >= 0) {
                begin = p;
                end = matchEnd;
                return true;
            }
        }
        return false;
    }

protected:
    explicit UnitMatcher(Units units) : units_(units) {}

    // The pair scan over the leading tokens that are single ASCII bytes in every form, up to
    // the first line break, else the first token's bytes.
    void FindStarts() {
        QList<std::array<uchar, 2>> forms;
        for (const Token token : tokens_) {
            uchar pairOfForms[2] = {uchar(token), uchar(token)};
            if (token == kLineBreak || (!CaseSensitive() && !AsciiForms(token, pairOfForms))) {
                break;
            }
            forms.append({pairOfForms[0], pairOfForms[1]});
        }
        // Row "A multi-line find": 0.27 s against 0.37 s with the first byte alone (medians of 11).
        pair_ = PairOf(forms, 1, 0);
        const Token first = tokens_.front();
        if (first == kLineBreak) {
            firstBytes_ = {'\n', '\r'};
        } else if (CaseSensitive()) {
            firstBytes_ = {uchar(first)};
        } else {
            checkBoundary_ = FirstBytesOf(first, firstBytes_);
        }
    }

    bool CaseSensitive() const {
        if constexpr (Units::kLineBreaks) {
            return units_.caseSensitive;
        }
        return false;
    }

    Units units_;
    std::vector<Token> tokens_;

private:
    // The end of the occurrence that starts at p, or -1 when none starts there.
    qsizetype MatchAt(const uchar* data, const uchar* end, qsizetype p) const {
        if constexpr (Units::kLineBreaks) {
            if (data[p] == '\n' && p > 0 && data[p - 1] == '\r') {
                return -1;  // inside a "\r\n"
            }
        }
        if (checkBoundary_ && !IsUnitStart(data, end, p)) {
            return -1;
        }
        const uchar* at = data + p;
        for (const Token expected : tokens_) {
            if (at >= end) {
                return -1;
            }
            Token token = 0;
            at += units_(at, end, token);
            if (token != expected) {
                return -1;
            }
        }
        return at - data;
    }

    std::vector<uchar> firstBytes_;
    // The first token is a raw continuation byte: a candidate inside a valid sequence is
    // not a unit of its own and cannot start a match.
    bool checkBoundary_ = false;
    // Where the first two tokens can only be ASCII bytes: a scan for that byte pair.
    std::optional<PairScan> pair_;
};

// The case-insensitive search in UTF-8 for a text without line breaks.
class FoldedMatcher : public UnitMatcher<FoldedUnits> {
public:
    explicit FoldedMatcher(QByteArrayView find) : UnitMatcher({}) {
        tokens_ = FoldedTokens(find);
        FindStarts();
    }
};

// The search in UTF-8 for a text that holds a line break, or ends in a "\r", each line break
// one unit.
class LinesMatcher : public UnitMatcher<LineUnits> {
public:
    LinesMatcher(QByteArrayView find, bool sensitive) : UnitMatcher(LineUnits{sensitive}) {
        const uchar* p = Bytes(find);
        const uchar* end = p + find.size();
        while (p < end) {
            Token token = 0;
            p += units_(p, end, token);
            tokens_.push_back(token);
        }
        FindStarts();
    }
};

// The search in a legacy 8-bit encoding or in UTF-16, where every unit is read as a character
// (a line break as one unit) and compared with the search text's characters. A candidate start
// comes from a pair scan, or a scan for the first character's bytes, on one byte of each
// character: the byte itself in a legacy encoding, the low byte of its first code unit in UTF-16.
class CharacterMatcher : public Matcher {
public:
    // Null where the search text (code points) cannot occur in this form.
    static std::unique_ptr<const Matcher> Make(const std::u32string& find, bool caseSensitive,
                                               const LegacyEncoding* legacy, bool bigEndian) {
        std::unique_ptr<CharacterMatcher> matcher(
            new CharacterMatcher(find, caseSensitive, legacy, bigEndian));
        if (!matcher->canMatch_) {
            return nullptr;
        }
        return matcher;
    }

    // Whether every unit of every occurrence is an ASCII byte, read as in UTF-8.
    bool AsciiOnly() const { return asciiOnly_; }

    bool FindAt(QByteArrayView content, qsizetype from, qsizetype& begin, qsizetype& end,
                std::vector<qsizetype>& nextAt) const override {
        const uchar* data = Bytes(content);
        const qsizetype size = content.size();
        const auto next = [&](qsizetype at) {
            if (pair_) {
                return pair_->Next(data, size, at);
            }
            const qsizetype hit = NextOfBytes(firstKeys_, data, size, at + shift_, nextAt);
            return hit < 0 ? hit : hit - shift_;
        };
        for (qsizetype p = next(from); p >= 0; p = next(p + 1)) {
            if (legacy_ == nullptr && (p & 1) != 0) {
                continue;  // UTF-16 units start at even offsets, after the byte-order mark
            }
            const qsizetype matchEnd = MatchAt(data, data + size, p);
            if (matchEnd >= 0) {
                begin = p;
                end = matchEnd;
                return true;
            }
        }
        return false;
    }

private:
    CharacterMatcher(const std::u32string& find, bool caseSensitive, const LegacyEncoding* legacy,
                     bool bigEndian)
        : caseSensitive_(caseSensitive),
          legacy_(legacy),
          bigEndian_(bigEndian),
          shift_(legacy == nullptr && bigEndian ? 1 : 0) {
        for (std::size_t i = 0; i < find.size(); ++i) {
            if (find[i] == '\n' ||
                (find[i] == '\r' && i + 1 < find.size() && find[i + 1] == '\n')) {
                i += find[i] == '\r' ? 1u : 0u;
                tokens_.push_back(kLineBreak);
            } else {
                tokens_.push_back(caseSensitive_ ? find[i] : Fold(find[i]));
            }
        }
        asciiOnly_ = true;
        QList<std::array<uchar, 2>> pairForms;
        bool fixed = true;  // whether the tokens so far lie at fixed offsets
        for (std::size_t i = 0; i < tokens_.size(); ++i) {
            std::vector<uchar> keys;
            bool ascii = true;
            const bool oneUnit = KeysOf(tokens_[i], keys, ascii);
            if (keys.empty()) {
                return;  // a character this form cannot hold
            }
            asciiOnly_ = asciiOnly_ && ascii;
            if (i == 0) {
                firstKeys_ = keys;
            }
            fixed = fixed && oneUnit && keys.size() <= 2;
            if (fixed) {
                pairForms.append({keys.front(), keys.back()});
            }
        }
        // Rows "W accented find, ignoring case": 0.133 s against 0.171 s with the first byte alone,
        // "U accented replace, ignoring case": 0.319 s against 0.363 s (medians of 5, a busy
        // machine).
        pair_ = PairOf(pairForms, legacy_ ? 1 : 2, shift_);
        canMatch_ = true;
    }

    // The key bytes of the units that read as token, sorted; whether each such unit is a single
    // unit (one byte, or one UTF-16 code unit); ascii is cleared when one is not an ASCII byte.
    bool KeysOf(Token token, std::vector<uchar>& keys, bool& ascii) const {
        if (token == kLineBreak) {
            keys = {'\n', '\r'};
            return false;
        }
        if (legacy_) {
            for (int b = 0; b < 256; ++b) {
                if (ReadByte(uchar(b)) == token) {
                    keys.push_back(uchar(b));
                    ascii = ascii && b < 0x80;
                }
            }
            return true;
        }
        ascii = false;
        std::vector<char32_t> forms = {token};
        if (!caseSensitive_) {
            for (char32_t c : UnfoldedForms(token)) {
                forms.push_back(c);
            }
        }
        bool oneUnit = true;
        for (char32_t c : forms) {
            const char32_t unit = c < 0x10000 ? c : 0xD800 + ((c - 0x10000) >> 10);
            keys.push_back(uchar(unit & 0xFF));
            oneUnit = oneUnit && c < 0x10000;
        }
        SortUnique(keys);
        return oneUnit;
    }

    Token ReadByte(uchar b) const {
        const Token token = legacy_->Decode(b);
        return caseSensitive_ || (token & kRawByte) ? token : Fold(token);
    }

    // Reads the unit at p as its token, a line break as kLineBreak, and returns its length.
    int Read(const uchar* p, const uchar* end, Token& token) const {
        if (legacy_) {
            if (p[0] == '\n' || (p[0] == '\r' && end - p >= 2 && p[1] == '\n')) {
                token = kLineBreak;
                return p[0] == '\n' ? 1 : 2;
            }
            token = ReadByte(p[0]);
            return 1;
        }
        int length = DecodeUtf16(p, end, bigEndian_, token);
        if (token == '\n') {
            token = kLineBreak;
        } else if (token == '\r' && end - p >= 4) {
            Token after = 0;
            DecodeUtf16(p + 2, end, bigEndian_, after);
            if (after == '\n') {
                token = kLineBreak;
                length = 4;
            }
        } else if (!caseSensitive_ && (token & (kRawByte | kRawUnit)) == 0) {
            token = Fold(token);
        }
        return length;
    }

    // The end of the occurrence that starts at p, or -1 when none starts there.
    qsizetype MatchAt(const uchar* data, const uchar* end, qsizetype p) const {
        if (tokens_.front() == kLineBreak) {
            const auto unitAt = [&](qsizetype q) {
                return legacy_ ? Token(data[q])
                               : Token(bigEndian_ ? data[q] << 8 | data[q + 1]
                                                  : data[q + 1] << 8 | data[q]);
            };
            const qsizetype width = legacy_ ? 1 : 2;
            const qsizetype first = legacy_ ? 0 : 2;  // after the byte-order mark
            if (end - data - p >= width && unitAt(p) == '\n' && p - width >= first &&
                unitAt(p - width) == '\r') {
                return -1;  // inside a "\r\n"
            }
        }
        const uchar* at = data + p;
        for (const Token expected : tokens_) {
            if (at >= end) {
                return -1;
            }
            Token token = 0;
            at += Read(at, end, token);
            if (token != expected) {
                return -1;
            }
        }
        return at - data;
    }

    bool caseSensitive_;
    const LegacyEncoding* legacy_;  // null: UTF-16
    bool bigEndian_;
    qsizetype shift_;  // where a code unit's key byte lies in it
    std::vector<Token> tokens_;
    std::vector<uchar> firstKeys_;
    std::optional<PairScan> pair_;
    bool canMatch_ = false;
    bool asciiOnly_ = false;
};

bool IsAscii(QByteArrayView text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; });
}

// The next occurrence of one form found so far: begin -2 when not looked for, -1 when there is
// none after the last place looked from.
struct FoundNext {
    qsizetype begin = -2;
    qsizetype end = 0;
    std::vector<qsizetype> nextAt;
};

bool HoldsNul(QByteArrayView content) {
    return std::memchr(content.data(), 0, std::size_t(content.size())) != nullptr;
}

}  // namespace

// What one scan over one content remembers between occurrences.
struct Replacer::Scan {
    bool read = false;  // whether the fields below hold the content's kind
    Form form = kUtf8;  // the form of a file with a byte-order mark, else kUtf8
    qsizetype start = 0;
    bool mayBeLegacy = false;
    // Whether the first occurrence found will do, leftmost or not.
    bool anyOccurrence = false;
    FoundNext utf8;
    FoundNext other;
    // Whether the content is a legacy 8-bit file: -1 not known yet, 0 no, 1 yes.
    int legacyFile = -1;
    // The form of an ASCII occurrence's replacement, once known.
    std::optional<Form> asciiForm;
    // The content's first line break: -1 not looked for yet, 0 "\n" or none, 1 "\r\n".
    int firstLineBreak = -1;
};

namespace {

// The first occurrence of matcher at or after from, as begin and end, reusing next, what it
// found before, while that still lies at or after from.
bool NextOf(const Matcher& matcher, QByteArrayView content, qsizetype from, FoundNext& next,
            qsizetype& begin, qsizetype& end) {
    if (next.begin == -2 || (next.begin >= 0 && next.begin < from)) {
        if (!matcher.FindAt(content, from, next.begin, next.end, next.nextAt)) {
            next.begin = -1;
        }
    }
    begin = next.begin;
    end = next.end;
    return next.begin >= 0;
}

}  // namespace

Replacer::Replacer(QByteArrayView find, QByteArrayView replacement, bool caseSensitive,
                   std::shared_ptr<const LegacyEncoding> legacy)
    : find_(find.toByteArray()),
      replacement_(replacement.toByteArray()),
      caseSensitive_(caseSensitive),
      legacy_(legacy ? std::move(legacy) : LegacyEncoding::Windows1252()) {
    findHasLineBreak_ = find_.contains('\n');
    replacementIsAscii_ = IsAscii(replacement_);
    replacementHasLineBreak_ = replacement_.contains('\n');
    if (!find_.isEmpty()) {
        // A search text with no "\n" and no "\r" at its end can neither meet a line break nor
        // start or end inside a "\r\n": it keeps the byte and folded searches.
        if (findHasLineBreak_ || find_.endsWith('\r')) {
            matchers_[kUtf8] = std::make_unique<LinesMatcher>(find_, caseSensitive_);
        } else if (caseSensitive_) {
            matchers_[kUtf8] = std::make_unique<ExactMatcher>(find_);
        } else {
            matchers_[kUtf8] = std::make_unique<FoldedMatcher>(find_);
        }
        std::u32string codePoints;
        if (CodePoints(find_, codePoints)) {
            auto legacyMatcher =
                CharacterMatcher::Make(codePoints, caseSensitive_, legacy_.get(), false);
            // An ASCII-only search finds the same in both forms: the UTF-8 one is enough.
            if (legacyMatcher &&
                !static_cast<const CharacterMatcher&>(*legacyMatcher).AsciiOnly()) {
                matchers_[kLegacy] = std::move(legacyMatcher);
            }
            matchers_[kUtf16Le] =
                CharacterMatcher::Make(codePoints, caseSensitive_, nullptr, false);
            matchers_[kUtf16Be] = CharacterMatcher::Make(codePoints, caseSensitive_, nullptr, true);
        }
    }
    const auto fill = [&](Written& written,
                          const std::function<bool(const QByteArray&, QByteArray&)>& convert) {
        written.written = convert(replacement_, written.plain);
        if (replacementHasLineBreak_) {
            written.written = written.written &&
                              convert(WithLineBreaks(replacement_, "\n"), written.lf) &&
                              convert(WithLineBreaks(replacement_, "\r\n"), written.crlf);
        }
    };
    fill(written_[kUtf8], [](const QByteArray& text, QByteArray& out) {
        out = text;
        return true;
    });
    fill(written_[kLegacy], [&](const QByteArray& text, QByteArray& out) {
        std::u32string codePoints;
        if (!CodePoints(text, codePoints)) {
            return false;
        }
        for (const char32_t cp : codePoints) {
            uchar b = 0;
            if (!legacy_->Encode(cp, b)) {
                return false;
            }
            out.append(char(b));
        }
        return true;
    });
    for (const Form form : {kUtf16Le, kUtf16Be}) {
        fill(written_[form], [&](const QByteArray& text, QByteArray& out) {
            std::u32string codePoints;
            if (!CodePoints(text, codePoints)) {
                return false;
            }
            for (const char32_t cp : codePoints) {
                AppendUtf16(cp, form == kUtf16Be, out);
            }
            return true;
        });
    }
    mayBeUnwritable_ =
        std::any_of(written_.begin(), written_.end(), [](const Written& w) { return !w.written; });
}

Replacer::~Replacer() = default;

bool Replacer::IsFor(QByteArrayView find, QByteArrayView replacement, bool caseSensitive,
                     const LegacyEncoding* legacy) const {
    const LegacyEncoding* wanted = legacy ? legacy : LegacyEncoding::Windows1252().get();
    return caseSensitive == caseSensitive_ && find == find_ && replacement == replacement_ &&
           wanted == legacy_.get();
}

bool Replacer::FindNext(QByteArrayView content, qsizetype from, Occurrence& found,
                        Scan& scan) const {
    // An occurrence needs at least one byte; an empty content may have no data pointer at all,
    // which memmem and memchr must not be given.
    if (!matchers_[kUtf8] || content.isEmpty()) {
        return false;
    }
    if (!scan.read) {
        scan.read = true;
        if (content.startsWith("\xFF\xFE") || content.startsWith("\xFE\xFF")) {
            scan.form = content.startsWith("\xFF\xFE") ? kUtf16Le : kUtf16Be;
            scan.start = 2;
        } else if (content.startsWith("\xEF\xBB\xBF")) {
            scan.start = 3;
        } else {
            scan.mayBeLegacy = matchers_[kLegacy] != nullptr;
        }
    }
    from = std::max(from, scan.start);
    if (from >= content.size()) {
        return false;
    }
    if (scan.form != kUtf8) {
        const Matcher* matcher = matchers_[scan.form].get();
        if (!matcher || !NextOf(*matcher, content, from, scan.other, found.begin, found.end)) {
            return false;
        }
        found.form = scan.form;
        return true;
    }
    const bool utf8 = NextOf(*matchers_[kUtf8], content, from, scan.utf8, found.begin, found.end);
    found.form = kUtf8;
    if (scan.mayBeLegacy && scan.legacyFile != 0 && !(utf8 && scan.anyOccurrence)) {
        Occurrence legacy{0, 0, kLegacy};
        if (NextOf(*matchers_[kLegacy], content, from, scan.other, legacy.begin, legacy.end) &&
            (!utf8 || legacy.begin < found.begin)) {
            // Only a legacy-form occurrence asks whether the whole file is valid UTF-8.
            if (scan.legacyFile < 0) {
                scan.legacyFile = !HoldsNul(content) && !IsValidUtf8(content) ? 1 : 0;
            }
            if (scan.legacyFile == 1) {
                found = legacy;
                return true;
            }
        }
    }
    return utf8;
}

Replacer::Form Replacer::WriteForm(QByteArrayView content, const Occurrence& occurrence,
                                   Scan& scan) const {
    if (occurrence.form != kUtf8 || replacementIsAscii_ || scan.start != 0 ||
        !IsAscii(content.sliced(occurrence.begin, occurrence.end - occurrence.begin))) {
        return occurrence.form;
    }
    if (!scan.asciiForm) {
        const uchar* data = Bytes(content);
        const uchar* end = data + content.size();
        const uchar* high = std::find_if(data, end, [](uchar b) { return b >= 0x80; });
        char32_t cp = 0;
        const bool utf8 = high == end || DecodeUtf8(high, end, cp) > 0 || HoldsNul(content);
        scan.asciiForm = utf8 ? kUtf8 : kLegacy;
    }
    return *scan.asciiForm;
}

bool Replacer::ReplacementFor(QByteArrayView content, const Occurrence& occurrence, Scan& scan,
                              QByteArrayView& replacement) const {
    const Form form = WriteForm(content, occurrence, scan);
    const Written& written = written_[form];
    if (!written.written) {
        return false;
    }
    if (!replacementHasLineBreak_) {
        replacement = written.plain;
        return true;
    }
    // Whether the first line break from begin to end is a "\r\n"; -1 when there is none.
    const auto firstBreak = [&](qsizetype begin, qsizetype end) {
        const uchar* data = Bytes(content);
        if (form == kUtf16Le || form == kUtf16Be) {
            const bool big = form == kUtf16Be;
            Token previous = 0;
            for (qsizetype p = begin; p + 1 < end; p += 2) {
                Token unit = 0;
                DecodeUtf16(data + p, data + end, big, unit);
                if (unit == '\n') {
                    return previous == '\r' && p > begin ? 1 : 0;
                }
                previous = unit;
            }
            return -1;
        }
        const auto* lf =
            static_cast<const uchar*>(std::memchr(data + begin, '\n', std::size_t(end - begin)));
        return !lf ? -1 : lf > data + begin && lf[-1] == '\r' ? 1 : 0;
    };
    bool crlf = false;
    if (findHasLineBreak_) {
        // The first line break of an occurrence lies wholly inside it.
        crlf = firstBreak(occurrence.begin, occurrence.end) == 1;
    } else {
        if (scan.firstLineBreak < 0) {
            scan.firstLineBreak = firstBreak(scan.start, content.size()) == 1 ? 1 : 0;
        }
        crlf = scan.firstLineBreak == 1;
    }
    replacement = crlf ? written.crlf : written.lf;
    return true;
}

bool Replacer::Contains(QByteArrayView content) const {
    Occurrence found;
    Scan scan;
    scan.anyOccurrence = true;
    return FindNext(content, 0, found, scan);
}

Replacer::Effect Replacer::EffectOn(QByteArrayView content, QByteArray* encoding) const {
    Occurrence found;
    Scan scan;
    if (!FindNext(content, 0, found, scan)) {
        return Effect::NoOccurrence;
    }
    // While every occurrence so far is as long as the replacement, the new text lines up with
    // the old one, and the first occurrence that differs from the replacement changes it.
    // Where every form can hold the replacement, the first occurrence that changes the content
    // settles the effect; otherwise every occurrence is looked at first.
    bool differs = false;
    bool aligned = true;
    do {
        QByteArrayView replacement;
        if (!ReplacementFor(content, found, scan, replacement)) {
            if (encoding) {
                const Form form = WriteForm(content, found, scan);
                *encoding = form == kLegacy ? legacy_->Name() : QByteArray("UTF-16");
            }
            return Effect::Unwritable;
        }
        const QByteArrayView match = content.sliced(found.begin, found.end - found.begin);
        if (match.size() != replacement.size()) {
            if (!mayBeUnwritable_) {
                return ChangesByComparison(content) ? Effect::Changed : Effect::Unchanged;
            }
            aligned = false;
        } else if (match != replacement) {
            if (!mayBeUnwritable_) {
                return Effect::Changed;
            }
            differs = true;
        }
    } while (FindNext(content, found.end, found, scan));
    if (!aligned) {
        return ChangesByComparison(content) ? Effect::Changed : Effect::Unchanged;
    }
    return differs ? Effect::Changed : Effect::Unchanged;
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
    qsizetype copiedTo = 0;
    Occurrence found;
    Scan scan;
    for (qsizetype from = 0; FindNext(content, from, found, scan); from = found.end) {
        QByteArrayView replacement;
        if (!ReplacementFor(content, found, scan, replacement)) {
            return false;
        }
        if ((found.begin > copiedTo && !write(content.sliced(copiedTo, found.begin - copiedTo))) ||
            (!replacement.isEmpty() && !write(replacement))) {
            return false;
        }
        copiedTo = found.end;
    }
    return copiedTo == content.size() || write(content.sliced(copiedTo));
}

void Replacer::ForEachOccurrence(
    QByteArrayView content,
    const std::function<bool(qsizetype begin, qsizetype end)>& visit) const {
    Occurrence found;
    Scan scan;
    for (qsizetype from = 0; FindNext(content, from, found, scan) && visit(found.begin, found.end);
         from = found.end) {
    }
}
