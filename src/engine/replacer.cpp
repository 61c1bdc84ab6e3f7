// SPDX-License-Identifier: GPL-3.0-or-later
#include "replacer.h"

#include "matcher.h"
#include "textdecoding.h"

#include <QList>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

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
        matchers_[kUtf8] = MakeUtf8Matcher(find_, caseSensitive_);
        std::u32string codePoints;
        if (CodePoints(find_, codePoints)) {
            bool asciiOnly = false;
            auto legacyMatcher =
                MakeCharacterMatcher(codePoints, caseSensitive_, legacy_.get(), false, &asciiOnly);
            // An ASCII-only search finds the same in both forms: the UTF-8 one is enough.
            if (legacyMatcher && !asciiOnly) {
                matchers_[kLegacy] = std::move(legacyMatcher);
            }
            matchers_[kUtf16Le] = MakeCharacterMatcher(codePoints, caseSensitive_, nullptr, false);
            matchers_[kUtf16Be] = MakeCharacterMatcher(codePoints, caseSensitive_, nullptr, true);
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
