// SPDX-License-Identifier: GPL-3.0-or-later
#include "undolastreplace.h"

#include "filestore.h"
#include "runloop.h"

#include <vector>

namespace {

// A file's content as it was before the replace: the current content with the bytes each
// region replaced put back in its place.
class Reversed : public NewContent {
public:
    Reversed(QByteArrayView current, const std::vector<AlteredFile::Region>& regions)
        : current_(current), regions_(regions) {}
    bool WriteTo(const std::function<bool(QByteArrayView)>& write) const override {
        qint64 at = 0;
        for (const AlteredFile::Region& region : regions_) {
            if (region.at > at && !write(current_.sliced(at, region.at - at))) {
                return false;
            }
            if (!region.original.isEmpty() && !write(region.original)) {
                return false;
            }
            at = region.at + region.length;
        }
        return at >= current_.size() || write(current_.sliced(at));
    }

private:
    QByteArrayView current_;
    const std::vector<AlteredFile::Region>& regions_;
};

// Whether current is byte for byte what the replace wrote: its replacements where they were
// put, and, with them put back, the content the replace read.
bool HoldsWhatWasWritten(QByteArrayView current, const AlteredFile& file) {
    if (current.size() != file.newSize) {
        return false;
    }
    ContentHasher replacements;
    qint64 at = 0;
    for (const AlteredFile::Region& region : file.regions) {
        if (region.at < at || region.length < 0 || region.at + region.length > current.size()) {
            return false;
        }
        replacements.Add(current.sliced(region.at, region.length));
        at = region.at + region.length;
    }
    if (replacements.Hash() != file.replacementsHash) {
        return false;
    }
    ContentHasher old;
    Reversed(current, file.regions).WriteTo([&](QByteArrayView piece) {
        old.Add(piece);
        return true;
    });
    return old.Hash() == file.oldHash;
}

// The undo of each file of a record, in order.
class UndoSteps : public RunSteps {
public:
    UndoSteps(RunEnvironment& env, const UndoRecord& record) : env_(env), record_(record) {
        env_.files.WillOnlySearch(false);
    }

    int Count() const override { return record_.Count(); }

    bool Step(int i, RunLoop& loop) override {
        const AlteredFile& file = record_.Files()[std::size_t(i)];
        loop.InHand(file.name);
        FileStamp stamp;
        const ReadOutcome read = env_.files.ReadWholeFile(file.path, current_, stamp);
        if (read == ReadOutcome::Missing) {
            loop.Left(file.name, Reason::NoLongerThere);
        } else if (read == ReadOutcome::LinkOfAnotherUser) {
            loop.Left(file.name, Reason::LinkOfAnotherUser);
        } else if (read != ReadOutcome::Read) {
            loop.Left(file.name, Reason::CouldNotBeRead);
        } else if (!(stamp == file.written) || !HoldsWhatWasWritten(current_, file)) {
            loop.Left(file.name, Reason::ChangedSinceTheReplace);
        } else {
            SaveTicket ticket = 0;
            const SaveOutcome saved = env_.files.BeginSave(
                file.path, stamp, current_, Reversed(current_, file.regions), ticket);
            loop.Saving(file.name, saved, ticket);
        }
        return true;
    }

private:
    RunEnvironment& env_;
    const UndoRecord& record_;
    QByteArray current_;
};

}  // namespace

void UndoLastReplace(RunEnvironment& env, UndoRecord& record, RunResults& results) {
    RunLoop loop(env, results);
    UndoSteps steps(env, record);
    loop.Run(steps);
    record.Clear();
}
