// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A plain reference for Replacer, for tests and fuzzing: it cuts the text into units one after
// another (a line break, "\n" or "\r\n", is one unit; the rest are bytes when case-sensitive,
// else valid UTF-8 code points, folded with Qt's simple case folding, and lone bytes that match
// only themselves) and compares unit by unit, with no prefilter and no shortcuts. The line
// breaks of a replacement are written like the first line break of the occurrence, else like
// the content's first line break, else as "\n".
//
// A file that starts with a UTF-16 byte-order mark is cut into UTF-16 units (a surrogate pair is
// one, an unpaired surrogate or a last odd byte a unit that matches nothing) and matched by code
// points. A file without a byte-order mark that is not valid UTF-8 and holds no NUL is a legacy
// file: at each byte the UTF-8 units are tried first, then the Windows-1252 characters, one a
// byte. A replacement is written in the form of its occurrence; an occurrence of ASCII bytes in a
// legacy file in the form of the file's first non-ASCII character.

#include <QByteArray>
#include <QChar>

#include <string>
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

// The code points of Windows-1252's bytes 80 to 9F; the undefined ones stand for themselves.
inline char32_t Windows1252(unsigned char b) {
    static const char32_t high[32] = {
        0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
    return b >= 0x80 && b < 0xA0 ? high[b - 0x80] : b;
}

// The code points of UTF-8 text, with a line break as kLineBreak; false when it is not valid.
inline bool Characters(const QByteArray& text, bool fold, std::vector<char32_t>& out) {
    for (const Unit& unit : Units(text, false)) {
        if (unit.token != kLineBreak && (unit.token & 0x80000000u)) {
            return false;
        }
        if (unit.token == kLineBreak) {
            out.push_back(kLineBreak);
        } else {
            char32_t cp = 0;
            const auto* p = reinterpret_cast<const unsigned char*>(text.constData()) + unit.begin;
            cp = unit.length == 1   ? p[0]
                 : unit.length == 2 ? char32_t(p[0] & 0x1F) << 6 | (p[1] & 0x3F)
                 : unit.length == 3
                     ? char32_t(p[0] & 0x0F) << 12 | char32_t(p[1] & 0x3F) << 6 | (p[2] & 0x3F)
                     : char32_t(p[0] & 0x07) << 18 | char32_t(p[1] & 0x3F) << 12 |
                           char32_t(p[2] & 0x3F) << 6 | (p[3] & 0x3F);
            out.push_back(fold ? QChar::toCaseFolded(cp) : cp);
        }
    }
    return true;
}

// The UTF-16 units of content from byte 2 on.
inline std::vector<Unit> Utf16Units(const QByteArray& content, bool big, bool fold) {
    std::vector<Unit> units;
    const auto* p = reinterpret_cast<const unsigned char*>(content.constData());
    const qsizetype n = content.size();
    const auto at = [&](qsizetype i) { return big ? p[i] << 8 | p[i + 1] : p[i + 1] << 8 | p[i]; };
    for (qsizetype i = 2; i < n;) {
        if (i + 1 >= n) {
            units.push_back({0x80000000u | p[i], i, 1});
            break;
        }
        const char32_t u = char32_t(at(i));
        if (u == '\n' || (u == '\r' && i + 3 < n && at(i + 2) == '\n')) {
            units.push_back({kLineBreak, i, u == '\n' ? 2 : 4});
        } else if (u >= 0xD800 && u <= 0xDBFF && i + 3 < n && at(i + 2) >= 0xDC00 &&
                   at(i + 2) <= 0xDFFF) {
            const char32_t cp = 0x10000 + ((u - 0xD800) << 10) + (char32_t(at(i + 2)) - 0xDC00);
            units.push_back({fold ? QChar::toCaseFolded(cp) : cp, i, 4});
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            units.push_back({0x20000000u | u, i, 2});
        } else {
            units.push_back({fold ? QChar::toCaseFolded(u) : u, i, 2});
        }
        i += units.back().length;
    }
    return units;
}

// content with every occurrence of find replaced, leftmost first and not overlapping;
// found tells whether there was one, unwritable whether a replacement could not be written in
// the form of its occurrence.
inline QByteArray ReplaceAll(const QByteArray& content, const QByteArray& find,
                             const QByteArray& replacement, bool caseSensitive, bool& found,
                             bool* unwritable = nullptr) {
    found = false;
    bool cannot = false;
    if (unwritable) {
        *unwritable = false;
    }
    if (find.isEmpty()) {
        return content;
    }
    const bool utf16 = content.startsWith("\xFF\xFE") || content.startsWith("\xFE\xFF");
    const qsizetype start = utf16 ? 2 : content.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    std::vector<char32_t> characters;
    const bool hasCharacters = Characters(find, !caseSensitive, characters);
    std::vector<char32_t> replacementCharacters;
    const bool replacementValid = Characters(replacement, false, replacementCharacters);
    const QByteArray plain = content.mid(start);
    const std::vector<Unit> utf8 = Units(plain, caseSensitive);
    bool validUtf8 = true;
    for (const Unit& unit : Units(plain, false)) {
        validUtf8 = validUtf8 && (unit.token == kLineBreak || !(unit.token & 0x80000000u));
    }
    const bool legacy = !utf16 && start == 0 && !validUtf8 && !content.contains('\0');
    // The form of an ASCII occurrence in a legacy file.
    bool asciiLegacy = false;
    for (const Unit& unit : Units(plain, false)) {
        if (plain[unit.begin] & 0x80) {
            asciiLegacy = legacy && (unit.token & 0x80000000u);
            break;
        }
    }
    QByteArray out = content.left(start);
    // Writes the replacement in the legacy encoding or in UTF-16, with lineBreak for its breaks.
    const auto writeCharacters = [&](const QByteArray& lineBreak, int form) {
        if (!replacementValid) {
            cannot = true;
        }
        for (const char32_t c : replacementCharacters) {
            if (c == kLineBreak) {
                out += lineBreak;
            } else if (form == 0) {
                int b = 0;
                while (b < 256 && Windows1252(static_cast<unsigned char>(b)) != c) {
                    ++b;
                }
                cannot = cannot || b == 256;
                out += char(b);
            } else {
                const bool big = content.startsWith("\xFE\xFF");
                const auto unit = [&](char32_t u) {
                    out += big ? char(u >> 8) : char(u & 0xFF);
                    out += big ? char(u & 0xFF) : char(u >> 8);
                };
                if (c < 0x10000) {
                    unit(c);
                } else {
                    unit(0xD800 + ((c - 0x10000) >> 10));
                    unit(0xDC00 + ((c - 0x10000) & 0x3FF));
                }
            }
        }
    };
    if (utf16) {
        const std::vector<Unit> text =
            Utf16Units(content, content.startsWith("\xFE\xFF"), !caseSensitive);
        const QByteArray fallback =
            content.startsWith("\xFE\xFF") ? QByteArray("\0\n", 2) : QByteArray("\n\0", 2);
        const QByteArray contentBreak = FirstLineBreak(content, text, 0, text.size(), fallback);
        std::size_t i = 0;
        while (i < text.size()) {
            bool match = hasCharacters && i + characters.size() <= text.size();
            for (std::size_t k = 0; match && k < characters.size(); ++k) {
                match = text[i + k].token == characters[k];
            }
            if (match) {
                found = true;
                writeCharacters(
                    FirstLineBreak(content, text, i, i + characters.size(), contentBreak), 1);
                i += characters.size();
            } else {
                out += content.mid(text[i].begin, text[i].length);
                ++i;
            }
        }
    } else {
        const std::vector<Unit> pattern = Units(find, caseSensitive);
        const std::vector<Unit> replacementUnits = Units(replacement, true);
        const QByteArray contentBreak = FirstLineBreak(plain, utf8, 0, utf8.size(), "\n");
        std::vector<qsizetype> unitAt(std::size_t(plain.size()) + 1, -1);
        for (std::size_t k = 0; k < utf8.size(); ++k) {
            unitAt[std::size_t(utf8[k].begin)] = qsizetype(k);
        }
        unitAt[std::size_t(plain.size())] = qsizetype(utf8.size());
        const auto* p = reinterpret_cast<const unsigned char*>(plain.constData());
        qsizetype i = 0;
        while (i < plain.size()) {
            const qsizetype k = unitAt[std::size_t(i)];
            bool match = k >= 0 && std::size_t(k) + pattern.size() <= utf8.size();
            for (std::size_t j = 0; match && j < pattern.size(); ++j) {
                match = utf8[std::size_t(k) + j].token == pattern[j].token;
            }
            if (match) {
                found = true;
                const std::size_t last = std::size_t(k) + pattern.size();
                const qsizetype end = last < utf8.size() ? utf8[last].begin : plain.size();
                const QByteArray lineBreak =
                    FirstLineBreak(plain, utf8, std::size_t(k), last, contentBreak);
                bool ascii = true;
                for (qsizetype b = i; b < end; ++b) {
                    ascii = ascii && p[b] < 0x80;
                }
                if (ascii && asciiLegacy) {
                    writeCharacters(lineBreak, 0);
                } else {
                    for (const Unit& unit : replacementUnits) {
                        out += unit.token == kLineBreak ? lineBreak
                                                        : replacement.mid(unit.begin, unit.length);
                    }
                }
                i = end;
                continue;
            }
            // The Windows-1252 form: one character a byte, a "\r\n" one line break.
            bool legacyMatch =
                legacy && hasCharacters && !(i > 0 && p[i] == '\n' && p[i - 1] == '\r');
            qsizetype at = i;
            QByteArray lineBreak;
            for (std::size_t j = 0; legacyMatch && j < characters.size(); ++j) {
                if (at >= plain.size()) {
                    legacyMatch = false;
                    break;
                }
                char32_t c = 0;
                qsizetype length = 1;
                if (p[at] == '\n' ||
                    (p[at] == '\r' && at + 1 < plain.size() && p[at + 1] == '\n')) {
                    c = kLineBreak;
                    length = p[at] == '\n' ? 1 : 2;
                    if (lineBreak.isEmpty()) {
                        lineBreak = plain.mid(at, length);
                    }
                } else {
                    c = Windows1252(p[at]);
                    c = caseSensitive ? c : QChar::toCaseFolded(c);
                }
                legacyMatch = c == characters[j];
                at += length;
            }
            if (legacyMatch) {
                found = true;
                writeCharacters(lineBreak.isEmpty() ? contentBreak : lineBreak, 0);
                i = at;
                continue;
            }
            out += plain[i];
            ++i;
        }
    }
    if (unwritable) {
        *unwritable = cannot;
    }
    return out;
}

}  // namespace reference
