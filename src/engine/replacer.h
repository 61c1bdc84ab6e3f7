// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class LegacyEncoding;
class Matcher;

// Literal search and replace over the bytes of a file, in the encoding the file is in.
//
// The encoding is read from the bytes: "EF BB BF" at the start is UTF-8, "FF FE" UTF-16LE and
// "FE FF" UTF-16BE (the byte-order mark is never part of an occurrence); any other file that is
// valid UTF-8, or holds a NUL, is read as UTF-8 (or bytes); the rest are legacy 8-bit files,
// where the search text is found both in its UTF-8 form and in its form in the legacy encoding
// (Windows-1252 unless another is given). At one start the UTF-8 form is taken first.
//
// Case-sensitive matching compares the characters exactly (in UTF-8 files, the bytes).
// Case-insensitive matching compares their simple case folding. A byte or UTF-16 code unit that
// is not part of a character matches only itself. A match may be longer or shorter in bytes
// than the search text. Occurrences are found leftmost first, never overlap, and replaced text
// is not scanned again. An empty search text matches nothing.
//
// A line break is "\n" or "\r\n" (in UTF-16, 000A or 000D 000A), each one unit; a lone "\r" is
// no line break. A line break in the search text matches either kind in the content, and no
// occurrence starts or ends inside a "\r\n". Each line break of the replacement is written like
// the first line break of the occurrence it replaces; when the search text holds none, like the
// content's first line break, or as "\n" when the content has none.
//
// Each replacement is written in the form of the occurrence it replaces: UTF-16 in the file's
// byte order, the legacy encoding, or UTF-8. An occurrence of ASCII bytes only in a legacy file
// takes the form of the file's first non-ASCII character: UTF-8 when it is a valid UTF-8
// sequence, else the legacy encoding.
class Replacer {
public:
    // legacy null: Windows-1252.
    Replacer(QByteArrayView find, QByteArrayView replacement, bool caseSensitive,
             std::shared_ptr<const LegacyEncoding> legacy = nullptr);
    ~Replacer();
    Replacer(const Replacer&) = delete;
    Replacer& operator=(const Replacer&) = delete;

    // Whether this replacer was built from these texts, this case option and this encoding
    // (null: Windows-1252).
    bool IsFor(QByteArrayView find, QByteArrayView replacement, bool caseSensitive,
               const LegacyEncoding* legacy = nullptr) const;
    // True when the search text occurs in content.
    bool Contains(QByteArrayView content) const;
    // What replacing every occurrence in content would do to it. Unwritable: the replacement
    // holds a character that the form of an occurrence cannot hold; encoding is then set to
    // the name of that form's encoding.
    enum class Effect { NoOccurrence, Unchanged, Changed, Unwritable };
    Effect EffectOn(QByteArrayView content, QByteArray* encoding = nullptr) const;
    // Gives content with every occurrence replaced to write, in pieces and in order: the runs
    // of content between occurrences and the replacement for each; no piece is empty. Stops
    // and returns false as soon as write returns false, or before a replacement that cannot be
    // written (see EffectOn); returns true otherwise.
    bool WritePieces(QByteArrayView content,
                     const std::function<bool(QByteArrayView)>& write) const;
    // Calls visit with where each occurrence in content begins and ends, in order: the ones
    // WritePieces replaces. Stops as soon as visit returns false.
    void ForEachOccurrence(QByteArrayView content,
                           const std::function<bool(qsizetype begin, qsizetype end)>& visit) const;

private:
    enum Form { kUtf8, kLegacy, kUtf16Le, kUtf16Be, kForms };
    struct Occurrence {
        qsizetype begin = 0;
        qsizetype end = 0;
        Form form = kUtf8;
    };
    struct Scan;
    // The replacement as each form writes it: as given, with its line breaks as "\n", and as
    // "\r\n" (both empty when it holds none); written is false when the form cannot hold it.
    struct Written {
        bool written = true;
        QByteArray plain;
        QByteArray lf;
        QByteArray crlf;
    };

    // Finds the first occurrence at or after from; returns false when there is none.
    bool FindNext(QByteArrayView content, qsizetype from, Occurrence& found, Scan& scan) const;
    // The form the replacement of occurrence is written in.
    Form WriteForm(QByteArrayView content, const Occurrence& occurrence, Scan& scan) const;
    // Sets replacement to the replacement as written over occurrence; false when its form
    // cannot hold it.
    bool ReplacementFor(QByteArrayView content, const Occurrence& occurrence, Scan& scan,
                        QByteArrayView& replacement) const;
    // Whether the new text differs from content, by comparing them piece by piece.
    bool ChangesByComparison(QByteArrayView content) const;

    QByteArray find_;
    QByteArray replacement_;
    bool caseSensitive_;
    std::shared_ptr<const LegacyEncoding> legacy_;
    bool findHasLineBreak_ = false;
    bool replacementHasLineBreak_ = false;
    bool replacementIsAscii_ = false;
    // Whether some form cannot hold the replacement: then EffectOn looks at every occurrence.
    bool mayBeUnwritable_ = false;
    // The matcher of each form; null where the search text cannot occur in it. The legacy one
    // is set only where the legacy form can find what the UTF-8 form does not.
    std::array<std::unique_ptr<const Matcher>, kForms> matchers_;
    std::array<Written, kForms> written_;
};
