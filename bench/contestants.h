// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <vector>

// What one timed run of a program took.
struct Timing {
    double seconds = 0;
    double cpuSeconds = 0;  // user and system time of the child and the children it waited for
    long peakRssKiB = 0;    // the child's peak resident set
    int exitCode = -1;
    QByteArray output;  // its standard output
};

// Runs program with arguments in folder as a child process and times it from fork to exit.
// environment holds NAME=VALUE settings the child gets on top of this process's own.
Timing TimeProcess(const QString& folder, const QStringList& command,
                   const QStringList& environment = {});

// Writes every dirty page to disk and drops the page cache, so that the next reads come from
// the disk. Needs root; returns false, with nothing dropped, without it.
bool DropCaches();

// An X server of its own (Xvfb) for as long as the object lives; Display() is empty when none
// could be started.
class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;
    QString Display() const { return display_; }

private:
    QProcess server_;
    QString display_;
};

// Makes folder a copy of pristine again and flushes it to disk; not timed. An existing copy
// gets back only the files that differ from pristine's.
void Restore(const QString& pristine, const QString& folder);

// The order in which count contestants take their turns in round (from 0): a balanced Latin
// square, in which, over every count rounds (twice that for an odd count), each contestant
// comes right after each other one as often.
std::vector<qsizetype> RoundOrder(qsizetype count, int round);

// The median of values.
double Median(QList<double> values);

// The number of regular files in folder whose content holds text.
int FilesHolding(const QString& folder, const QByteArray& text);
