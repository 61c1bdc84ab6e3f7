// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runresults.h"

#include <QByteArray>

// Watches a run: the run tells it what it does as it does it, and asks it whether to go on.
// The window's observer hides the file list, moves its mark, paints the progress bar and lets
// events through; the command line's prints. Every member does nothing by default.
class RunObserver {
public:
    virtual ~RunObserver() = default;

    // The run begins over entries entries (a list's entries, or the files an undo puts back).
    virtual void RunBegins(int entries) { Q_UNUSED(entries); }
    // The run has reached entry (0-based), whether it qualifies or not. Returns whether it goes
    // on with it; false ends the run there, after the file in hand. True by default.
    virtual bool Reached(int entry) {
        Q_UNUSED(entry);
        return true;
    }
    // The file of entry has been processed; entries is the number of entries now.
    virtual void Processed(int entry, int entries) {
        Q_UNUSED(entry);
        Q_UNUSED(entries);
    }
    // name held the search text and was found, or altered (or, in an undo, put back): told in
    // list order as soon as it is known, a save once its rename is done. The results get the
    // same names.
    virtual void Found(const QByteArray& name) { Q_UNUSED(name); }
    // name was left unchanged for reason; told in list order with the found names.
    virtual void LeftUnchanged(const QByteArray& name, const LeftReason& reason) {
        Q_UNUSED(name);
        Q_UNUSED(reason);
    }
    // The run has ended, every file told, also when an exception ends it.
    virtual void RunEnded() {}
};
