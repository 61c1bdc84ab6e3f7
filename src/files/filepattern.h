// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>
#include <string>

// The filter a folder's files are listed with unless the user gives another: the window's
// filter box starts with it, and the command line takes it without --filter.
inline constexpr char kDefaultFilter[] = "*.txt;*.doc;*.htm;*.asp;*.html;*.xml";

// A file-name filter: wildcard patterns separated by ";" ("*.txt;*.doc"), any of which a
// name must match, with case ignored as FileName folds it. "*" stands for any run of
// characters, "?" for one character and "[...]" for one of a set ("[!...]" or "[^...]" for
// one outside it, "a-z" a range). Spaces around a pattern do not count, and "*.*" matches
// every name. A filter without any pattern matches every name.
class FilePattern {
public:
    // The filter that text describes, or nothing with a description in error when text holds
    // a "/", an unbalanced "[" or a range whose ends are reversed.
    static std::optional<FilePattern> Parse(const QString& text, QString& error);

    // Whether the file name name (raw bytes, read as FileName reads them) passes the filter.
    bool Matches(QByteArrayView name) const;

private:
    struct Range {
        char32_t low;
        char32_t high;
    };
    struct Set {
        bool negated = false;
        QList<Range> ranges;
    };
    bool InSet(const Set& set, char32_t token) const;
    struct Pattern {
        // Folded units, with "*", "?" and the sets as values no unit takes.
        std::u32string units;
        // For "*" and ASCII characters only ("*.txt"): those characters, folded.
        QByteArray asciiTail;
    };
    bool MatchesOne(const std::u32string& pattern, QByteArrayView name) const;

    QList<Pattern> patterns_;
    QList<Set> sets_;
    bool matchesAll_ = false;
};
