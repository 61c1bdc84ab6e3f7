#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>
#include <memory>
#include <vector>

class PairScan;

// Literal search and replace over bytes. Case-sensitive matching compares bytes exactly.
// Case-insensitive matching compares the simple case folding of each code point of valid
// UTF-8; a byte that is not part of valid UTF-8 matches only itself. A match may be longer
// or shorter in bytes than the search text. Occurrences are found leftmost first, never
// overlap, and replaced text is not scanned again. An empty search text matches nothing.
//
// A line break is "\n" or "\r\n", each one unit; a lone "\r" is no line break. A line break in
// the search text matches either kind in the content, and no occurrence starts or ends inside a
// "\r\n". Each line break of the replacement is written like the first line break of the
// occurrence it replaces; when the search text holds none, like the content's first line break,
// or as "\n" when the content has none.
class Replacer {
public:
    Replacer(QByteArrayView find, QByteArrayView replacement, bool caseSensitive);
    ~Replacer();
    Replacer(const Replacer&) = delete;
    Replacer& operator=(const Replacer&) = delete;

    // Whether this replacer was built from these texts and this case option.
    bool IsFor(QByteArrayView find, QByteArrayView replacement, bool caseSensitive) const;
    // True when the search text occurs in content.
    bool Contains(QByteArrayView content) const;
    // What replacing every occurrence in content would do to it.
    enum class Effect { NoOccurrence, Unchanged, Changed };
    Effect EffectOn(QByteArrayView content) const;
    // Gives content with every occurrence replaced to write, in pieces and in order: the runs
    // of content between occurrences and the replacement for each; no piece is empty. Stops
    // and returns false as soon as write returns false; returns true otherwise.
    bool WritePieces(QByteArrayView content,
                     const std::function<bool(QByteArrayView)>& write) const;

private:
    struct Folded;
    struct Lines;
    // What one scan over one content remembers between occurrences.
    struct Scan {
        std::vector<qsizetype> nextAt;
        // The content's first line break: -1 not looked for yet, 0 "\n" or none, 1 "\r\n".
        int firstLineBreak = -1;
    };
    // Finds the first occurrence at or after from; returns false when there is none.
    bool FindNext(QByteArrayView content, qsizetype from, qsizetype& begin, qsizetype& end,
                  Scan& scan) const;

    // The replacement as written over the occurrence of content from begin to end.
    QByteArrayView ReplacementFor(QByteArrayView content, qsizetype begin, qsizetype end,
                                  Scan& scan) const;

    // Whether the new text differs from content, by comparing them piece by piece.
    bool ChangesByComparison(QByteArrayView content) const;

    // The case-sensitive search: a two-byte signature scan, then a comparison.
    bool FindExact(const uchar* data, qsizetype size, qsizetype from, qsizetype& begin,
                   qsizetype& end) const;

    QByteArray find_;
    QByteArray replacement_;
    bool caseSensitive_;
    std::unique_ptr<Folded> folded_;
    std::unique_ptr<PairScan> exactPair_;
    // Set for a search text that holds a line break or ends in a "\r"; folded_ and exactPair_
    // then stay unset.
    std::unique_ptr<Lines> lines_;
    bool findHasLineBreak_ = false;
    // The replacement with its line breaks as "\n" and as "\r\n"; empty when it holds none.
    QByteArray replacementLf_;
    QByteArray replacementCrlf_;
};
