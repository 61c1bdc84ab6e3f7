// SPDX-License-Identifier: GPL-3.0-or-later
#include "runloop.h"

#include "runobserver.h"

#include <new>

namespace {

// The watcher of a run that nobody watches.
RunObserver& Unwatched() {
    static RunObserver nobody;
    return nobody;
}

}  // namespace

RunLoop::RunLoop(RunEnvironment& env, RunResults& results) : env_(env), results_(results) {
    results_ = RunResults{};
}

RunLoop::~RunLoop() {
    if (saving_) {
        env_.files.FinishSaves();
    }
}

void RunLoop::Run(RunSteps& steps) {
    steps_ = &steps;
    RunObserver& observer = env_.observer ? *env_.observer : Unwatched();
    observer.RunBegins(steps.Count());
    // Read once the observer has let events through: later changes to the list do not move it.
    const int count = steps.Count();
    try {
        for (int i = 0; i < count; ++i) {
            if (!observer.Reached(i)) {
                break;
            }
            if (!steps.Step(i, *this)) {
                continue;
            }
            inHand_.clear();
            ++results_.FilesProcessed;
            ReportKnown();
            observer.Processed(i, steps.Count());
        }
    } catch (const std::bad_alloc&) {
        Abandon(Reason::NotEnoughMemory);
        observer.RunEnded();
        throw;
    } catch (...) {
        Abandon(Reason::InternalError);
        observer.RunEnded();
        throw;
    }
    Finish();
    observer.RunEnded();
}

void RunLoop::Saving(const QByteArray& name, SaveOutcome outcome, SaveTicket ticket) {
    if (outcome == SaveOutcome::Pending) {
        saving_ = true;
        Add({name, std::nullopt, true, ticket});
    } else if (outcome == SaveOutcome::Saved) {
        saving_ = true;
        Add({name, std::nullopt, false, 0});
    } else {
        Add({name, ReasonFor(outcome), false, 0});
    }
}

void RunLoop::Add(Entry entry) {
    entries_.push_back(std::move(entry));
    // From here on the file is no longer the one in hand, whatever fails next.
    inHand_.clear();
}

// Ends the run after an error: the file in hand, unless what became of it is told already, is
// left unchanged for reason and counted as processed; then the run finishes.
void RunLoop::Abandon(const LeftReason& reason) {
    if (!inHand_.isEmpty()) {
        Left(inHand_, reason);
        ++results_.FilesProcessed;
    }
    Finish();
}

// Reports, in entry order, the leading entries whose outcome is known by now.
void RunLoop::ReportKnown() {
    bool asked = false;
    while (!entries_.empty()) {
        const Entry& entry = entries_.front();
        if (entry.pending && !completed_.contains(entry.ticket)) {
            if (asked) {
                return;
            }
            asked = true;
            completed_.insert(env_.files.CompletedSaves());
            continue;
        }
        ReportFirst();
    }
}

// Waits for the run's saves, makes them durable, and reports every entry left.
void RunLoop::Finish() {
    // Also after a run that saved nothing: the store lets go of the last file it read.
    saving_ = false;
    completed_.insert(env_.files.FinishSaves());
    while (!entries_.empty()) {
        ReportFirst();
    }
    completed_.clear();
}

// Reports the first entry; a pending save's outcome must be in completed_ by now.
void RunLoop::ReportFirst() {
    Entry entry = std::move(entries_.front());
    entries_.pop_front();
    if (entry.pending) {
        const SaveReport report = completed_.take(entry.ticket);
        if (report.outcome == SaveOutcome::Saved) {
            steps_->Saved(entry.ticket, report);
        } else {
            entry.reason = ReasonFor(report.outcome);
        }
    }
    RunObserver& observer = env_.observer ? *env_.observer : Unwatched();
    if (entry.reason) {
        results_.Left(entry.name, *entry.reason);
        observer.LeftUnchanged(entry.name, *entry.reason);
    } else {
        results_.Found(entry.name);
        observer.Found(entry.name);
    }
}
