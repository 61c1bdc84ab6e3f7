#include "undolastreplace.h"

#include "eventpump.h"
#include "filelist.h"
#include "filestore.h"
#include "progressbar.h"

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

void Yield(RunEnvironment& env) {
    if (env.pump) {
        env.pump->DoEvents();
    }
}

}  // namespace

void UndoLastReplace(RunEnvironment& env, FileList& fileList, UndoRecord& record,
                     RunResults& results) {
    fileList.SetVisible(false);
    results = RunResults{};
    Yield(env);

    // What became of each file, known for a pending save only when the saves finish.
    struct Entry {
        QByteArray name;
        QString reason;
        SaveTicket ticket = 0;
        bool pending = false;
    };
    std::vector<Entry> entries;
    QByteArray current;
    const std::vector<AlteredFile>& files = record.Files();
    const qint32 last = record.Count() - 1;
    env.files.WillOnlySearch(false);
    try {
        for (qint32 i = 0; i <= last; ++i) {
            if (env.stop && *env.stop) {
                break;
            }
            const AlteredFile& file = files[std::size_t(i)];
            Entry entry{file.name, QString()};
            FileStamp stamp;
            const ReadOutcome read = env.files.ReadWholeFile(file.path, current, stamp);
            if (read == ReadOutcome::Missing) {
                entry.reason = Reason::NoLongerThere;
            } else if (read == ReadOutcome::LinkOfAnotherUser) {
                entry.reason = Reason::LinkOfAnotherUser;
            } else if (read != ReadOutcome::Read) {
                entry.reason = Reason::CouldNotBeRead;
            } else if (!(stamp == file.written) || !HoldsWhatWasWritten(current, file)) {
                entry.reason = Reason::ChangedSinceTheReplace;
            } else {
                const SaveOutcome saved = env.files.BeginSave(
                    file.path, stamp, current, Reversed(current, file.regions), entry.ticket);
                entry.pending = saved == SaveOutcome::Pending;
                if (saved != SaveOutcome::Pending && saved != SaveOutcome::Saved) {
                    entry.reason = ReasonFor(saved);
                }
            }
            entries.push_back(std::move(entry));
            ++results.FilesProcessed;

            Yield(env);
            qint32 position = i;
            qint32 maximum = last;
            DrawProgressBar(env.progressBox, position, maximum);
            Yield(env);
        }
    } catch (...) {
        env.files.FinishSaves();
        throw;
    }
    const QHash<SaveTicket, SaveReport> reports = env.files.FinishSaves();
    for (const Entry& entry : entries) {
        if (entry.pending) {
            const SaveOutcome saved = reports.value(entry.ticket).outcome;
            results.Report(entry.name, saved == SaveOutcome::Saved ? QString() : ReasonFor(saved));
        } else {
            results.Report(entry.name, entry.reason);
        }
    }
    record.Clear();
    fileList.Refresh();
    fileList.SetVisible(true);
}
