// SPDX-License-Identifier: GPL-3.0-or-later
#include "unifieddiff.h"

#include "filestore.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace {

constexpr qsizetype kContext = 3;

// The lines of text, each ending after its "\n" (the last one may have none).
QList<QByteArrayView> LinesOf(QByteArrayView text) {
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype lf = text.indexOf('\n', start);
        const qsizetype end = lf < 0 ? text.size() : lf + 1;
        lines.append(text.sliced(start, end - start));
        start = end;
    }
    return lines;
}

// name as patch reads it back: bare, or in double quotes with C escapes.
QByteArray Quoted(const QByteArray& name) {
    const bool plain = std::all_of(name.cbegin(), name.cend(), [](char c) {
        return uchar(c) > ' ' && c != '"' && c != '\\' && c != '\x7F';
    });
    if (plain && !name.isEmpty()) {
        return name;
    }
    QByteArray quoted = "\"";
    for (const char c : name) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (uchar(c) < ' ' || c == '\x7F') {
            quoted += '\\';
            quoted += char('0' + ((uchar(c) >> 6) & 7));
            quoted += char('0' + ((uchar(c) >> 3) & 7));
            quoted += char('0' + (uchar(c) & 7));
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

// A hunk's range: "START,COUNT" from the first line's 0-based index, as diff writes it.
QByteArray Range(qsizetype first, qsizetype count) {
    if (count == 1) {
        return QByteArray::number(first + 1);
    }
    return QByteArray::number(count == 0 ? first : first + 1) + ',' + QByteArray::number(count);
}

void AppendLine(QByteArray& out, char mark, QByteArrayView line) {
    out += mark;
    out += line;
    if (!line.endsWith('\n')) {
        out += "\n\\ No newline at end of file\n";
    }
}

// A run of old lines [oldBegin, oldEnd) that becomes newLines.
struct Change {
    qsizetype oldBegin = 0;
    qsizetype oldEnd = 0;
    QList<QByteArrayView> newLines;
};

}  // namespace

QList<Edit> EditsOf(QByteArrayView old, const NewContent& content) {
    QList<Edit> edits;
    qsizetype copiedTo = 0;
    QByteArray added;
    const auto base = reinterpret_cast<quintptr>(old.data());
    content.WriteTo([&](QByteArrayView piece) {
        const auto at = qsizetype(reinterpret_cast<quintptr>(piece.data()) - base);
        const bool kept = !old.isEmpty() && reinterpret_cast<quintptr>(piece.data()) >= base &&
                          at >= copiedTo && at + piece.size() <= old.size();
        if (!kept) {
            added += piece;
            return true;
        }
        if (at > copiedTo || !added.isEmpty()) {
            edits.append({copiedTo, at, added});
            added.clear();
        }
        copiedTo = at + piece.size();
        return true;
    });
    if (copiedTo < old.size() || !added.isEmpty()) {
        edits.append({copiedTo, old.size(), added});
    }
    return edits;
}

QByteArray UnifiedDiff(const QByteArray& name, QByteArrayView old, const QList<Edit>& edits) {
    const QList<QByteArrayView> oldLines = LinesOf(old);
    std::vector<qsizetype> starts;  // where each old line begins
    for (const QByteArrayView line : oldLines) {
        starts.push_back(line.data() - old.data());
    }
    const auto lineOf = [&](qsizetype at) {
        const auto after = std::upper_bound(starts.cbegin(), starts.cend(), at);
        return std::max<qsizetype>(0, (after - starts.cbegin()) - 1);
    };
    const auto lineEnd = [&](qsizetype line) {
        return line + 1 < qsizetype(starts.size()) ? starts[std::size_t(line + 1)] : old.size();
    };

    // Each run of lines that edits touch, with what it becomes. A run whose new text no longer
    // ends in a line break takes in the next line, so that the lines after it stay as they are.
    std::vector<Change> changes;
    std::vector<QByteArray> newTexts;  // what the changes' new lines refer to
    newTexts.reserve(std::size_t(edits.size()));
    for (qsizetype i = 0; i < edits.size();) {
        const qsizetype begin = lineOf(edits[i].begin);
        qsizetype end = begin;
        qsizetype next = i;
        QByteArray text;
        for (;;) {
            for (; next < edits.size() && lineOf(edits[next].begin) <= std::max(begin, end - 1);
                 ++next) {
                end = std::max(end, lineOf(std::max(edits[next].begin, edits[next].end - 1)) + 1);
            }
            const qsizetype from =
                begin < qsizetype(starts.size()) ? starts[std::size_t(begin)] : 0;
            text.clear();
            qsizetype copied = from;
            for (qsizetype k = i; k < next; ++k) {
                text += old.sliced(copied, edits[k].begin - copied);
                text += edits[k].replacement;
                copied = edits[k].end;
            }
            const qsizetype to = end > 0 ? lineEnd(end - 1) : 0;
            text += old.sliced(copied, std::max<qsizetype>(0, to - copied));
            if (text.isEmpty() || text.endsWith('\n') || end >= qsizetype(oldLines.size())) {
                break;
            }
            ++end;
        }
        i = next;
        newTexts.push_back(text);
        const qsizetype lines = oldLines.size();
        Change change{std::min(begin, lines), std::min(end, lines), {}};
        const QList<QByteArrayView> newLines = LinesOf(newTexts.back());
        // Lines the edits left as they were, at either end, are context.
        qsizetype front = 0;
        qsizetype back = newLines.size();
        while (change.oldBegin < change.oldEnd && front < back &&
               oldLines[change.oldBegin] == newLines[front]) {
            ++change.oldBegin;
            ++front;
        }
        while (change.oldBegin < change.oldEnd && front < back &&
               oldLines[change.oldEnd - 1] == newLines[back - 1]) {
            --change.oldEnd;
            --back;
        }
        change.newLines = newLines.mid(front, back - front);
        if (change.oldBegin < change.oldEnd || !change.newLines.isEmpty()) {
            changes.push_back(std::move(change));
        }
    }
    if (changes.empty()) {
        return {};
    }

    QByteArray diff = "--- " + Quoted(name) + "\n+++ " + Quoted(name) + '\n';
    qsizetype delta = 0;  // new line index minus old line index, before the hunk in hand
    for (std::size_t c = 0; c < changes.size();) {
        // A hunk takes in every change whose context meets the one before it.
        std::size_t last = c;
        while (last + 1 < changes.size() &&
               changes[last + 1].oldBegin - changes[last].oldEnd <= 2 * kContext) {
            ++last;
        }
        const qsizetype oldFirst = std::max<qsizetype>(0, changes[c].oldBegin - kContext);
        const qsizetype oldLast = std::min(oldLines.size(), changes[last].oldEnd + kContext);
        QByteArray body;
        qsizetype newCount = 0;
        qsizetype line = oldFirst;
        for (std::size_t k = c; k <= last; ++k) {
            for (; line < changes[k].oldBegin; ++line, ++newCount) {
                AppendLine(body, ' ', oldLines[line]);
            }
            for (; line < changes[k].oldEnd; ++line) {
                AppendLine(body, '-', oldLines[line]);
            }
            for (const QByteArrayView added : changes[k].newLines) {
                AppendLine(body, '+', added);
                ++newCount;
            }
        }
        for (; line < oldLast; ++line, ++newCount) {
            AppendLine(body, ' ', oldLines[line]);
        }
        diff += "@@ -" + Range(oldFirst, oldLast - oldFirst) + " +" +
                Range(oldFirst + delta, newCount) + " @@\n" + body;
        delta += newCount - (oldLast - oldFirst);
        c = last + 1;
    }
    return diff;
}
