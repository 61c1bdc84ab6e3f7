// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <memory>
#include <span>
#include <string>

// Reading text as units (one character, or one piece that is no character) and folding case.
// A unit reads as a token: a code point, a line break, or a raw value that only the same raw
// piece of the same kind gives.
using Token = char32_t;

// The token of a byte that is not part of a character; no code point takes these values.
inline constexpr Token kRawByte = 0x80000000u;
// The token of a UTF-16 code unit that is an unpaired surrogate.
inline constexpr Token kRawUnit = 0x20000000u;
// The token of a line break, "\n" or "\r\n" in any form; neither a code point nor raw.
inline constexpr Token kLineBreak = 0x40000000u;

// The length of the valid UTF-8 sequence at p, with its code point in cp; 0 when the byte at
// p does not start one (overlong forms, surrogates and values past U+10FFFF are invalid).
int DecodeUtf8(const uchar* p, const uchar* end, char32_t& cp);

// The simple case folding of cp (Unicode simple case folding, as Qt gives it).
Token Fold(char32_t cp);

// Reads the UTF-8 unit at p (one valid code point, or one byte outside valid UTF-8) as its
// folded token and returns its length in bytes.
int FoldedUnit(const uchar* p, const uchar* end, Token& token);

// The code points other than folded itself whose simple case folding is folded.
std::span<const char32_t> UnfoldedForms(Token folded);

// Whether no valid UTF-8 sequence that starts before p covers the byte at p.
bool IsUnitStart(const uchar* data, const uchar* end, qsizetype p);

// Whether text is valid UTF-8 throughout.
bool IsValidUtf8(QByteArrayView text);

// The code points of text, or false when it is not valid UTF-8.
bool CodePoints(QByteArrayView text, std::u32string& out);

// Reads the UTF-16 unit at p (a code point, a pair of surrogates, an unpaired surrogate as
// kRawUnit | unit, or a last lone byte as kRawByte | byte) and returns its length in bytes.
int DecodeUtf16(const uchar* p, const uchar* end, bool bigEndian, Token& token);

// Appends cp as UTF-16 in the given byte order.
void AppendUtf16(char32_t cp, bool bigEndian, QByteArray& out);

// A single-byte encoding whose first 128 bytes are ASCII: each byte stands for one code point,
// read from a table made once. A byte the encoding leaves undefined stands for the code point
// of the same number when no other byte takes it (Windows-1252's 81, 8D, 8F, 90 and 9D are
// the C1 controls), else for nothing but itself.
class LegacyEncoding {
public:
    // Windows-1252, the default.
    static const std::shared_ptr<const LegacyEncoding>& Windows1252();
    // The single-byte encoding that iconv knows by name, or null with error set to one line
    // saying why: an unknown name, an encoding that is not single-byte, or not ASCII below 128.
    static std::shared_ptr<const LegacyEncoding> Named(const QByteArray& name, QString& error);

    // The name it was made by, as given.
    const QByteArray& Name() const { return name_; }
    // The token of byte b: its code point, or kRawByte | b for a byte that stands for nothing.
    Token Decode(uchar b) const { return table_[b]; }
    // The byte that stands for cp; false when there is none.
    bool Encode(char32_t cp, uchar& b) const;

private:
    LegacyEncoding() = default;
    QByteArray name_;
    std::array<Token, 256> table_{};
    QHash<char32_t, uchar> bytes_;
};

// A key that two names share exactly when they are equal with case ignored, under the same
// folding as the case-insensitive search.
QByteArray CaseFoldKey(QByteArrayView text);
