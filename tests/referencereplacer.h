#pragma once

// A plain reference for Replacer, for tests and fuzzing: it cuts the text into units one after
// another (a line break, "\n" or "\r\n", is one unit; the rest are bytes when case-sensitive,
// else valid UTF-8 code points, folded with Qt's simple case folding, and lone bytes that match
// only themselves) and compares unit by unit, with no prefilter and no shortcuts. The line
// breaks of a replacement are written like the first line break of the occurrence, else like
// the content's first line break, else as "\n".

#include <QByteArray>
#include <QChar>

#include <vector>

namespace reference {

struct Unit {
    char32_t token;
    qsizetype begin;
    qsizetype length;
};

// The token of a line break; no byte or code point, folded or raw, takes it.
constexpr char32_t kLineBreak = 0xFFFFFFFFu;

// The units of text; without lineBreaks, "\r" and "\n" are units like any other.
inline std::vector<Unit> Units(const QByteArray& text, bool caseSensitive, bool lineBreaks = true) {
    std::vector<Unit> units;
    const auto* p = reinterpret_cast<const unsigned char*>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (lineBreaks && p[i] == '\n') {
            units.push_back({kLineBreak, i, 1});
            ++i;
            continue;
        }
        if (lineBreaks && p[i] == '\r' && i + 1 < n && p[i + 1] == '\n') {
            units.push_back({kLineBreak, i, 2});
            i += 2;
            continue;
        }
        if (caseSensitive) {
            units.push_back({p[i], i, 1});
            ++i;
            continue;
        }
        const unsigned char b = p[i];
        int need = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            need = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            need = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            need = 3, cp = b & 0x07, min = 0x10000;
        } else {
            need = -1;
        }
        bool valid = need >= 0;
        for (int k = 1; valid && k <= need; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (p[i + k] & 0x3F);
            }
        }
        if (valid && need > 0 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (valid) {
            units.push_back({QChar::toCaseFolded(cp), i, need + 1});
            i += need + 1;
        } else {
            units.push_back({0x80000000u | b, i, 1});
            ++i;
        }
    }
    return units;
}

// The bytes of the first line break among units, or fallback when there is none.
inline QByteArray FirstLineBreak(const QByteArray& text, const std::vector<Unit>& units,
                                 std::size_t from, std::size_t to, const QByteArray& fallback) {
    for (std::size_t k = from; k < to; ++k) {
        if (units[k].token == kLineBreak) {
            return text.mid(units[k].begin, units[k].length);
        }
    }
    return fallback;
}

// content with every occurrence of find replaced, leftmost first and not overlapping;
// found tells whether there was one.
inline QByteArray ReplaceAll(const QByteArray& content, const QByteArray& find,
                             const QByteArray& replacement, bool caseSensitive, bool& found) {
    found = false;
    if (find.isEmpty()) {
        return content;
    }
    const std::vector<Unit> text = Units(content, caseSensitive);
    const std::vector<Unit> pattern = Units(find, caseSensitive);
    const std::vector<Unit> replacementUnits = Units(replacement, true);
    const QByteArray contentBreak = FirstLineBreak(content, text, 0, text.size(), "\n");
    QByteArray out;
    std::size_t i = 0;
    while (i < text.size()) {
        bool match = i + pattern.size() <= text.size();
        for (std::size_t k = 0; match && k < pattern.size(); ++k) {
            match = text[i + k].token == pattern[k].token;
        }
        if (match) {
            found = true;
            const QByteArray lineBreak =
                FirstLineBreak(content, text, i, i + pattern.size(), contentBreak);
            for (const Unit& unit : replacementUnits) {
                out +=
                    unit.token == kLineBreak ? lineBreak : replacement.mid(unit.begin, unit.length);
            }
            i += pattern.size();
        } else {
            out += content.mid(text[i].begin, text[i].length);
            ++i;
        }
    }
    return out;
}

}  // namespace reference
