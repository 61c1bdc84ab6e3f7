#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <optional>

// The filter a folder's files are listed with unless the user gives another: the window's
// filter box starts with it, and the command line takes it without --filter.
inline constexpr char kDefaultFilter[] = "*.txt;*.doc;*.htm;*.asp;*.html;*.xml";

// A file-name filter: wildcard patterns separated by ";" ("*.txt;*.doc"), any of which a
// name must match, with case ignored. "*" stands for any run of characters, "?" for one
// character and "[...]" for one of a set. Spaces around a pattern do not count, and "*.*"
// matches every name. A filter without any pattern matches every name.
class FilePattern {
public:
    // The filter that text describes, or nothing with a description in error when text holds
    // a "/" or an unbalanced "[".
    static std::optional<FilePattern> Parse(const QString& text, QString& error);

    // Whether the file name name (raw bytes, decoded as UTF-8 for matching) passes the filter.
    bool Matches(const QByteArray& name) const;

private:
    QRegularExpression any_;  // the patterns as alternatives of one expression
    bool matchesAll_ = false;
};
