// SPDX-License-Identifier: GPL-3.0-or-later
#include "linelister.h"

#include "replacer.h"
#include "textdecoding.h"

#include <cstring>

namespace {

void AppendUtf8(char32_t cp, QByteArray& out) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

void AppendRaw(QByteArrayView bytes, QByteArray& out) {
    for (const char b : bytes) {
        out += "\\x" + QByteArray::number(uchar(b), 16).toUpper().rightJustified(2, '0');
    }
}

// How a file's text is read for showing, as the search reads it.
enum class Kind { Utf8, Utf16Le, Utf16Be, Legacy };

// The code unit at p of a file of kind: one byte, or two in UTF-16.
char32_t UnitAt(const uchar* p, Kind kind) {
    switch (kind) {
        case Kind::Utf16Le:
            return char32_t(p[0] | (p[1] << 8));
        case Kind::Utf16Be:
            return char32_t((p[0] << 8) | p[1]);
        case Kind::Utf8:
        case Kind::Legacy:
            break;
    }
    return *p;
}

// The line [begin, end) of content as UTF-8 for reading.
QByteArray Shown(QByteArrayView content, qsizetype begin, qsizetype end, Kind kind,
                 const LegacyEncoding& legacy) {
    const auto* data = reinterpret_cast<const uchar*>(content.data());
    const uchar* stop = data + end;
    QByteArray out;
    for (const uchar* p = data + begin; p < stop;) {
        char32_t cp = 0;
        Token token = 0;
        int length = 1;
        if (kind == Kind::Utf8) {
            length = DecodeUtf8(p, stop, cp);
            // A NUL is shown too: the lines stay text, and --null's NUL stays a separator.
            if (length > 0 && cp != 0) {
                out.append(reinterpret_cast<const char*>(p), length);
            } else {
                AppendRaw(QByteArrayView(p, 1), out);
                length = 1;
            }
        } else if (kind == Kind::Legacy) {
            token = legacy.Decode(*p);
            if (token & kRawByte) {
                AppendRaw(QByteArrayView(p, 1), out);
            } else {
                AppendUtf8(token, out);
            }
        } else {
            length = DecodeUtf16(p, stop, kind == Kind::Utf16Be, token);
            if ((token & (kRawByte | kRawUnit)) != 0 || token == 0) {
                AppendRaw(QByteArrayView(p, length), out);
            } else {
                AppendUtf8(token, out);
            }
        }
        p += length;
    }
    return out;
}

}  // namespace

QByteArray ListLines(const Replacer& replacer, QByteArrayView content, const QByteArray& name,
                     bool nulEnded, const LegacyEncoding& legacy) {
    // Most files hold no occurrence: they are not read through for their encoding.
    if (!replacer.Contains(content)) {
        return {};
    }
    Kind kind = Kind::Utf8;
    qsizetype start = 0;  // where the first line begins: after a byte-order mark
    if (content.startsWith("\xFF\xFE") || content.startsWith("\xFE\xFF")) {
        kind = content.startsWith("\xFF\xFE") ? Kind::Utf16Le : Kind::Utf16Be;
        start = 2;
    } else if (content.startsWith("\xEF\xBB\xBF")) {
        start = 3;
    } else if (!IsValidUtf8(content) &&
               std::memchr(content.data(), 0, std::size_t(content.size())) == nullptr) {
        kind = Kind::Legacy;
    }
    const qsizetype unit = kind == Kind::Utf16Le || kind == Kind::Utf16Be ? 2 : 1;
    const auto* data = reinterpret_cast<const uchar*>(content.data());
    // The last whole unit; a lone last byte of a UTF-16 file belongs to the last line.
    const qsizetype units = content.size() - (content.size() - start) % unit;

    QByteArray listed;
    qsizetype lineBegin = start;
    qsizetype lineNumber = 1;
    qsizetype scanned = start;  // line breaks before here are counted
    qsizetype shownUpTo = -1;   // the end of the last line listed
    replacer.ForEachOccurrence(content, [&](qsizetype begin, qsizetype) {
        if (begin < shownUpTo) {
            return true;
        }
        for (; scanned < begin && scanned < units; scanned += unit) {
            if (UnitAt(data + scanned, kind) == '\n') {
                ++lineNumber;
                lineBegin = scanned + unit;
            }
        }
        qsizetype lineEnd = begin;
        while (lineEnd < units && UnitAt(data + lineEnd, kind) != '\n') {
            lineEnd += unit;
        }
        shownUpTo = lineEnd + unit;
        const bool crlf = lineEnd < units && lineEnd - unit >= lineBegin &&
                          UnitAt(data + lineEnd - unit, kind) == '\r';
        if (lineEnd >= units) {
            lineEnd = content.size();
        }
        listed += name + (nulEnded ? '\0' : ':') + QByteArray::number(lineNumber) + ':' +
                  Shown(content, lineBegin, crlf ? lineEnd - unit : lineEnd, kind, legacy) + '\n';
        return true;
    });
    return listed;
}
