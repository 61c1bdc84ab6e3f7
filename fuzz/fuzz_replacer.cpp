// SPDX-License-Identifier: GPL-3.0-or-later
// Differential fuzzing of Replacer against the plain reference in tests/referencereplacer.h:
// both case modes, any bytes (valid UTF-8 or not) in the text, the search and the replacement,
// with line breaks of both kinds and lone carriage returns among them.
//
// Input: a flag byte, the search length, the replacement length, then the search (unless it
// is cut from the text), the replacement and the text.
//   flag bit 0: case-sensitive
//   flag bit 1: the search is a piece of the text (so that it occurs), at an offset from the
//               search-length byte and the next byte
//   flag bit 2: that piece with the case of its ASCII letters swapped
//   flag bit 3: that piece with each "\n" written as "\r\n" and each "\r\n" as "\n"
//   flag bit 4: a UTF-16 file: the text after a byte-order mark (bit 5: big-endian, else
//               little-endian), the piece read from it as UTF-16
//   flag bit 6: a legacy file: the piece read as Windows-1252 (the text stays as it is)

#include "referencereplacer.h"
#include "replaceall.h"
#include "replacer.h"
#include "summary.h"
#include "textdecoding.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Mismatch(const char* what, const QByteArray& content, const QByteArray& find,
                           const QByteArray& replacement, bool caseSensitive, const QByteArray& got,
                           const QByteArray& want) {
    std::fprintf(stderr,
                 "Replacer differs from the reference (%s), case-%s\n"
                 "  content     %s\n  find        %s\n  replacement %s\n"
                 "  got         %s\n  want        %s\n",
                 what, caseSensitive ? "sensitive" : "insensitive", content.toHex().constData(),
                 find.toHex().constData(), replacement.toHex().constData(), got.constData(),
                 want.constData());
    std::abort();
}

// The bytes as a QByteArray; a null one when there are none, whose view has no data pointer.
QByteArray Piece(const char* data, std::size_t size) {
    return size ? QByteArray(data, qsizetype(size)) : QByteArray();
}

QByteArray SwapAsciiCase(QByteArray text) {
    for (char& c : text) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            c = char(c ^ 0x20);
        }
    }
    return text;
}

QByteArray SwapLineBreaks(const QByteArray& text) {
    QByteArray swapped;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            swapped += '\n';
            ++i;
        } else if (text[i] == '\n') {
            swapped += "\r\n";
        } else {
            swapped += text[i];
        }
    }
    return swapped;
}

// text, from byte offset on, read as UTF-16 (or, with legacy, as Windows-1252) and written as
// UTF-8; what is no character is left out.
QByteArray AsUtf8(const QByteArray& text, qsizetype offset, qsizetype length, bool bigEndian,
                  bool legacy) {
    QByteArray out;
    const auto* p = reinterpret_cast<const uchar*>(text.constData());
    const uchar* end = p + text.size();
    const auto append = [&](char32_t cp) { out += QStringView(QChar::fromUcs4(cp)).toUtf8(); };
    if (legacy) {
        for (qsizetype i = offset; i < std::min(text.size(), offset + length); ++i) {
            const Token token = LegacyEncoding::Windows1252()->Decode(p[i]);
            if (!(token & kRawByte)) {
                append(token);
            }
        }
        return out;
    }
    for (const uchar* at = p + 2 + (offset & ~qsizetype(1)); at < end && length > 0;) {
        Token token = 0;
        const int step = DecodeUtf16(at, end, bigEndian, token);
        if (!(token & (kRawByte | kRawUnit))) {
            append(token);
        }
        at += step;
        length -= step;
    }
    return out;
}

QByteArray Tokens(const std::vector<reference::Unit>& units) {
    QByteArray key;
    for (const reference::Unit& unit : units) {
        key.append(reinterpret_cast<const char*>(&unit.token), sizeof unit.token);
    }
    return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) {
        return 0;
    }
    const uint8_t flags = data[0];
    const bool caseSensitive = flags & 1;
    const bool findFromText = flags & 2;
    std::size_t findLength = data[1] % 16;
    std::size_t replacementLength = data[2] % 16;
    const char* rest = reinterpret_cast<const char*>(data + 3);
    std::size_t left = size - 3;

    QByteArray find;
    if (!findFromText) {
        findLength = std::min(findLength, left);
        find = Piece(rest, findLength);
        rest += findLength;
        left -= findLength;
    }
    replacementLength = std::min(replacementLength, left);
    const QByteArray replacement = Piece(rest, replacementLength);
    rest += replacementLength;
    left -= replacementLength;
    const bool utf16 = flags & 16;
    const bool bigEndian = flags & 32;
    QByteArray content = Piece(rest, left);
    if (utf16) {
        content.prepend(bigEndian ? "\xFE\xFF" : "\xFF\xFE");
    }
    if (findFromText && !content.isEmpty()) {
        const qsizetype offset = qsizetype(data[1] * 7u % std::size_t(content.size()));
        const qsizetype length = qsizetype(1 + data[2] % 12);
        find = utf16 || (flags & 64) ? AsUtf8(content, offset, length, bigEndian, !utf16)
                                     : content.mid(offset, length);
        if (flags & 4) {
            find = SwapAsciiCase(find);
        }
        if (flags & 8) {
            find = SwapLineBreaks(find);
        }
    }

    bool wantFound = false;
    bool wantUnwritable = false;
    const QByteArray want = reference::ReplaceAll(content, find, replacement, caseSensitive,
                                                  wantFound, &wantUnwritable);
    const Replacer replacer(find, replacement, caseSensitive);
    if (!replacer.IsFor(find, replacement, caseSensitive)) {
        Mismatch("IsFor", content, find, replacement, caseSensitive, "false", "true");
    }
    if (replacer.Contains(content) != wantFound) {
        Mismatch("Contains", content, find, replacement, caseSensitive,
                 wantFound ? "absent" : "present", wantFound ? "present" : "absent");
    }
    QByteArray got = "untouched";
    bool changed = false;
    bool unwritable = false;
    const bool found = ReplaceAll(replacer, content, got, &changed, &unwritable);
    if (unwritable != wantUnwritable) {
        Mismatch("EffectOn's Unwritable", content, find, replacement, caseSensitive,
                 unwritable ? "unwritable" : "written", wantUnwritable ? "unwritable" : "written");
    }
    if (unwritable) {
        return 0;
    }
    if (found != wantFound || (found && got != want) || (!found && got != "untouched")) {
        Mismatch("ReplaceAll", content, find, replacement, caseSensitive,
                 found ? got.toHex() : "nothing found", wantFound ? want.toHex() : "nothing found");
    }
    if (found && changed != (want != content)) {
        Mismatch("ReplaceAll's changed", content, find, replacement, caseSensitive,
                 changed ? "changed" : "unchanged", changed ? "unchanged" : "changed");
    }
    // The effect a run decides by, and the pieces a save writes, agree with the reference.
    const Replacer::Effect effect = replacer.EffectOn(content);
    const Replacer::Effect wantEffect = !wantFound        ? Replacer::Effect::NoOccurrence
                                        : want != content ? Replacer::Effect::Changed
                                                          : Replacer::Effect::Unchanged;
    if (effect != wantEffect) {
        Mismatch("EffectOn", content, find, replacement, caseSensitive,
                 QByteArray::number(int(effect)), QByteArray::number(int(wantEffect)));
    }
    QByteArray pieces;
    replacer.WritePieces(content, [&](QByteArrayView piece) {
        if (piece.isEmpty()) {
            Mismatch("WritePieces", content, find, replacement, caseSensitive, "an empty piece",
                     "no empty piece");
        }
        pieces.append(piece);
        return true;
    });
    if (pieces != (wantFound ? want : content)) {
        Mismatch("WritePieces", content, find, replacement, caseSensitive, pieces.toHex(),
                 (wantFound ? want : content).toHex());
    }
    // Names compare under the same folding as the text.
    if (CaseFoldKey(content) != Tokens(reference::Units(content, false, false))) {
        Mismatch("CaseFoldKey", content, find, replacement, caseSensitive,
                 CaseFoldKey(content).toHex(),
                 Tokens(reference::Units(content, false, false)).toHex());
    }
    return 0;
}
