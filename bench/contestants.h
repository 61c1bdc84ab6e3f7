#pragma once

#include <QString>
#include <QStringList>

// What one timed run of a program took.
struct Timing {
    double seconds = 0;
    long peakRssKiB = 0;  // the child's peak resident set
    int exitCode = -1;
    QByteArray output;  // its standard output
};

// Runs program with arguments in folder as a child process and times it from fork to exit.
Timing TimeProcess(const QString& folder, const QStringList& command);

// Replaces folder by a fresh copy of pristine and flushes it to disk; not timed.
void Restore(const QString& pristine, const QString& folder);

// The median of values.
double Median(QList<double> values);

// The number of regular files in folder whose content holds text.
int FilesHolding(const QString& folder, const QByteArray& text);
