// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <memory>
#include <string>
#include <vector>

class LegacyEncoding;

// Finds the occurrences of one search text in one form of a content: the interface the
// replacer's search in each encoding keeps to.
class Matcher {
public:
    virtual ~Matcher() = default;
    // The first occurrence that starts at or after from, as the bytes from begin to end;
    // false when there is none. from lies inside content. nextAt is the matcher's memory of
    // one content between calls, empty at the first call and given back unchanged after.
    virtual bool FindAt(QByteArrayView content, qsizetype from, qsizetype& begin, qsizetype& end,
                        std::vector<qsizetype>& nextAt) const = 0;
};

// The bytes of a content, as the matchers read them.
inline const uchar* Bytes(QByteArrayView view) {
    return reinterpret_cast<const uchar*>(view.data());
}

// The search in UTF-8 (or ASCII) for find: bytes compared as they are when caseSensitive, else
// units compared by their simple case folding; a line break in find, or a "\r" at its end,
// matches "\n" and "\r\n" alike. find is not empty.
std::unique_ptr<const Matcher> MakeUtf8Matcher(const QByteArray& find, bool caseSensitive);

// The search in a legacy 8-bit encoding (legacy), or in UTF-16 (legacy null) in the byte order
// bigEndian gives, for the code points find, each read as a character; null where find cannot
// occur in that form. asciiOnly, when given, tells whether every unit of every occurrence is an
// ASCII byte, read as in UTF-8.
std::unique_ptr<const Matcher> MakeCharacterMatcher(const std::u32string& find, bool caseSensitive,
                                                    const LegacyEncoding* legacy, bool bigEndian,
                                                    bool* asciiOnly = nullptr);
