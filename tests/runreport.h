// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The results of a run, and who ran it, as lines of text: how a child process that runs the
// engine tells a test what happened. Names travel as hex, so any bytes survive.

#include "runresults.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

// The identity a process ran with.
struct RunIdentity {
    qint64 realUid = -1;
    qint64 effectiveUid = -1;
    qint64 realGid = -1;
    qint64 effectiveGid = -1;
    QList<qint64> groups;              // supplementary groups
    QByteArray effectiveCapabilities;  // the CapEff line of /proc/self/status, hex
};

inline QByteArray EncodeReport(const RunIdentity& who, const RunResults& results) {
    QByteArray text;
    text += "uid " + QByteArray::number(who.realUid) + ' ' + QByteArray::number(who.effectiveUid) +
            '\n';
    text += "gid " + QByteArray::number(who.realGid) + ' ' + QByteArray::number(who.effectiveGid) +
            '\n';
    text += "groups";
    for (const qint64 group : who.groups) {
        text += ' ' + QByteArray::number(group);
    }
    text += '\n';
    text += "capeff " + who.effectiveCapabilities + '\n';
    text += "processed " + QByteArray::number(results.FilesProcessed) + '\n';
    text += "affected " + QByteArray::number(results.FilesAffected) + '\n';
    for (const QByteArray& name : results.foundNames) {
        text += "found " + name.toHex() + '\n';
    }
    for (const LeftUnchanged& file : results.leftUnchanged) {
        text += "left " + file.name.toHex() + ' ' + QByteArray::number(file.reason.kind) + ' ' +
                file.reason.other.toHex() + '\n';
    }
    text += "end\n";
    return text;
}

// Reads what EncodeReport wrote; false when the text is incomplete or malformed.
inline bool DecodeReport(const QByteArray& text, RunIdentity& who, RunResults& results) {
    results = RunResults{};
    bool ended = false;
    for (const QByteArray& line : text.split('\n')) {
        const QByteArrayList words = line.split(' ');
        const QByteArray& key = words.first();
        if (key == "uid" && words.size() == 3) {
            who.realUid = words[1].toLongLong();
            who.effectiveUid = words[2].toLongLong();
        } else if (key == "gid" && words.size() == 3) {
            who.realGid = words[1].toLongLong();
            who.effectiveGid = words[2].toLongLong();
        } else if (key == "groups") {
            for (qsizetype i = 1; i < words.size(); ++i) {
                who.groups.append(words[i].toLongLong());
            }
        } else if (key == "capeff" && words.size() == 2) {
            who.effectiveCapabilities = words[1];
        } else if (key == "processed" && words.size() == 2) {
            results.FilesProcessed = words[1].toInt();
        } else if (key == "affected" && words.size() == 2) {
            results.FilesAffected = words[1].toInt();
        } else if (key == "found" && words.size() == 2) {
            results.foundNames.append(QByteArray::fromHex(words[1]));
        } else if (key == "left" && words.size() == 4) {
            const LeftReason reason{LeftReason::Kind(words[2].toInt()),
                                    QByteArray::fromHex(words[3])};
            results.leftUnchanged.append({QByteArray::fromHex(words[1]), reason});
        } else if (key == "end") {
            ended = true;
        } else if (!line.isEmpty()) {
            return false;
        }
    }
    return ended;
}
