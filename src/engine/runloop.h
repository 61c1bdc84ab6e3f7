// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batchrun.h"
#include "filestore.h"
#include "runresults.h"
#include "runsteps.h"

#include <QByteArray>
#include <QHash>

#include <deque>
#include <optional>

// The loop that replace, find and undo share: a step per entry, each file's outcome given to
// the results and the observer in entry order as soon as it is known, the pending saves
// resolved as the store completes them, and one way out on an exception.
class RunLoop {
public:
    // Resets results.
    RunLoop(RunEnvironment& env, RunResults& results);
    // A loop left by an exception still waits for its saves.
    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Runs steps over their entries until the last or until the observer asks to stop, then
    // waits for the saves and reports every file left. An exception ends the run with the file
    // in hand listed as "not enough memory" (an allocation failure) or "internal error" and
    // the rest reported as after a stop; it is then thrown on. The observer is told the run
    // ended in either case.
    void Run(RunSteps& steps);

    // The file that name stands for is being worked on, until its outcome is told.
    void InHand(const QByteArray& name) { inHand_ = name; }
    // name held the search text: a hit.
    void Found(const QByteArray& name) { Add({name, std::nullopt, false, 0}); }
    // name was left unchanged for reason.
    void Left(const QByteArray& name, const LeftReason& reason) { Add({name, reason, false, 0}); }
    // name's save began with outcome: Saved is a hit, Pending is told once the store reports
    // it (ticket names it), anything else leaves the file unchanged for its reason.
    void Saving(const QByteArray& name, SaveOutcome outcome, SaveTicket ticket);

private:
    // What became of a file, in entry order: a hit when reason is unset, unless pending.
    struct Entry {
        QByteArray name;
        std::optional<LeftReason> reason;
        bool pending = false;
        SaveTicket ticket = 0;
    };

    void Add(Entry entry);
    void Abandon(const LeftReason& reason);
    void ReportKnown();
    void Finish();
    void ReportFirst();

    RunEnvironment& env_;
    RunResults& results_;
    RunSteps* steps_ = nullptr;
    QByteArray inHand_;          // the file being processed, until what became of it is told
    std::deque<Entry> entries_;  // not reported yet, in entry order
    QHash<SaveTicket, SaveReport> completed_;  // pending saves the store reported completed
    bool saving_ = false;
};
