#include "batchrun.h"

#include "eventpump.h"
#include "filelist.h"
#include "filestore.h"
#include "pathsyntax.h"
#include "progressbar.h"
#include "replacer.h"
#include "textsource.h"
#include "undorecord.h"

#include <QHash>

#include <algorithm>
#include <cstring>
#include <deque>
#include <future>
#include <new>
#include <optional>
#include <vector>

const QString& ReasonFor(SaveOutcome outcome) {
    switch (outcome) {
        case SaveOutcome::ReadOnly:
            return Reason::ReadOnly;
        case SaveOutcome::ChangedByAnotherProgram:
            return Reason::ChangedByAnotherProgram;
        case SaveOutcome::SeveralHardLinks:
            return Reason::SeveralHardLinks;
        case SaveOutcome::NotRegularFile:
            return Reason::NotARegularFile;
        case SaveOutcome::InUse:
            return Reason::InUseByAnotherProgram;
        case SaveOutcome::LinkOfAnotherUser:
            return Reason::LinkOfAnotherUser;
        case SaveOutcome::Saved:
        case SaveOutcome::CouldNotWrite:
        case SaveOutcome::AlreadySaved:
        case SaveOutcome::Pending:
            break;
    }
    return Reason::CouldNotBeWritten;
}

namespace {

bool HoldsNul(QByteArrayView content) {
    return std::memchr(content.data(), 0, std::size_t(content.size())) != nullptr;
}

// The first look at a large file's every byte is split between two threads: the pages of a
// freshly mapped file cost more to reach the first time than to scan.
// Bench row "B replace, case-sensitive": 0.550 s on one thread, 0.519 s split in two.
bool HoldsNulSplit(QByteArrayView content) {
    constexpr qsizetype kSplitAtLeast = qsizetype(16) << 20;
    if (content.size() < kSplitAtLeast) {
        return HoldsNul(content);
    }
    const qsizetype half = content.size() / 2;
    // When no thread can be started the back half is checked here, after the front one.
    std::future<bool> back = std::async(std::launch::async | std::launch::deferred,
                                        [&] { return HoldsNul(content.sliced(half)); });
    const bool front = HoldsNul(content.first(half));
    return back.get() || front;
}

// A file's content with every occurrence replaced, made piece by piece as it is written; the
// recorder, when given, notes where the replacements go.
class Replaced : public NewContent {
public:
    Replaced(const Replacer& replacer, QByteArrayView content, ReplacementRecorder* recorder)
        : replacer_(replacer), content_(content), recorder_(recorder) {}
    bool WriteTo(const std::function<bool(QByteArrayView)>& write) const override {
        if (!recorder_) {
            return replacer_.WritePieces(content_, write);
        }
        return replacer_.WritePieces(content_, [&](QByteArrayView piece) {
            recorder_->Piece(piece);
            return write(piece);
        });
    }

private:
    const Replacer& replacer_;
    QByteArrayView content_;
    ReplacementRecorder* recorder_;
};

void Yield(RunEnvironment& env) {
    if (env.pump) {
        env.pump->DoEvents();
    }
}

// One run's state beyond its results: the replacer for the current texts, kept while the
// texts stay the same, the buffers reused from file to file, and what became of each file,
// which for a save still pending is known once the store reports the save completed.
class Run {
public:
    Run(RunEnvironment& env, bool caseSensitive, bool findOnly, RunResults& results)
        : env_(env), caseSensitive_(caseSensitive), findOnly_(findOnly), results_(results) {
        env_.files.WillOnlySearch(findOnly_);
    }

    // A run left by an exception still waits for its saves.
    ~Run() {
        if (saving_) {
            env_.files.FinishSaves();
        }
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    // Processes one qualifying file and records what became of it.
    void ProcessFile(const QByteArray& path, const QByteArray& name) {
        inHand_ = name;
        Process(path, name);
        inHand_.clear();
    }

    // Ends the run after an error: the file in hand, unless what became of it is recorded
    // already, is recorded as left unchanged for reason; then the run finishes. Returns
    // whether there was such a file.
    bool Abandon(const QString& reason) {
        const bool named = !inHand_.isEmpty();
        if (named) {
            Record(inHand_, reason);
        }
        Finish();
        return named;
    }

    // Reports, in list order, the leading entries whose outcome is known by now.
    void ReportKnown() {
        bool asked = false;
        while (!entries_.empty()) {
            const Entry& entry = entries_.front();
            if (entry.save == SaveOutcome::Pending && !completed_.contains(entry.ticket)) {
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
    void Finish() {
        // Also after a run that saved nothing: the store lets go of the last file it read.
        saving_ = false;
        completed_.insert(env_.files.FinishSaves());
        while (!entries_.empty()) {
            ReportFirst();
        }
        savedNames_.clear();
        altered_.clear();
        completed_.clear();
    }

private:
    // A file that held the search text or could not be read: reason is empty for a hit, and
    // save is set for a file given to the store to save, with the ticket of its save (or, for
    // AlreadySaved, of the save that reached the file first).
    struct Entry {
        QByteArray name;
        QString reason;
        std::optional<SaveOutcome> save;
        SaveTicket ticket = 0;
    };

    void Process(const QByteArray& path, const QByteArray& name) {
        FileStamp stamp;
        const ReadOutcome read = env_.files.ReadWholeFile(path, oldContent_, stamp);
        if (read == ReadOutcome::LinkOfAnotherUser) {
            Record(name, Reason::LinkOfAnotherUser);
            return;
        }
        if (read != ReadOutcome::Read) {
            const bool special = read == ReadOutcome::NotRegularFile && !findOnly_;
            Record(name, special ? Reason::NotARegularFile : Reason::CouldNotBeRead);
            return;
        }
        SaveTicket earlier = 0;
        if (!findOnly_ && env_.files.SavedAs(stamp, earlier)) {
            // Another name of a file saved already: named with the first, whatever it holds now.
            Add({name, QString(), SaveOutcome::AlreadySaved, earlier});
            return;
        }
        const Replacer& replacer = ReplacerForCurrentTexts();
        if (findOnly_) {
            if (replacer.Contains(oldContent_)) {
                Record(name, QString());
            }
            return;
        }
        QByteArray encoding;
        const Replacer::Effect effect = replacer.EffectOn(oldContent_, &encoding);
        if (effect == Replacer::Effect::Unwritable) {
            Record(name, Reason::CannotBeWrittenIn(encoding));
            return;
        }
        if (effect != Replacer::Effect::Changed) {
            return;
        }
        // A NUL is text in UTF-16, where the byte-order mark tells the file's encoding.
        const bool utf16 = oldContent_.startsWith("\xFF\xFE") || oldContent_.startsWith("\xFE\xFF");
        if (utf16 && env_.files.LastReadDamaged()) {
            Record(name, Reason::ChangedByAnotherProgram);
            return;
        }
        if (!utf16 && HoldsNulSplit(oldContent_)) {
            // Zeros where another program cut a mapped file short are not the file's own.
            Record(name, env_.files.LastReadDamaged() ? Reason::ChangedByAnotherProgram
                                                      : Reason::BinaryFile);
            return;
        }
        SaveTicket ticket = 0;
        std::optional<ReplacementRecorder> recorder;
        if (env_.undo) {
            recorder.emplace(oldContent_);
        }
        const SaveOutcome saved = env_.files.BeginSave(
            path, stamp, oldContent_,
            Replaced(replacer, oldContent_, recorder ? &*recorder : nullptr), ticket);
        // First: from here on the file is no longer the one in hand, whatever fails next.
        Add({name, QString(), saved, ticket});
        if (saved == SaveOutcome::Saved || saved == SaveOutcome::Pending) {
            saving_ = true;
            savedNames_.insert(ticket, name);
        }
        if (saved == SaveOutcome::Pending && recorder) {
            AlteredFile& altered = altered_[ticket];
            altered.path = path;
            altered.name = name;
            recorder->Finish(altered);
        }
    }

    // The texts are read again for every file: Clear may empty them during a run.
    const Replacer& ReplacerForCurrentTexts() {
        const QByteArray find = env_.texts.FindText();
        const QByteArray replacement = env_.texts.ReplaceText();
        if (!replacer_ || !replacer_->IsFor(find, replacement, caseSensitive_, env_.legacy.get())) {
            replacer_.emplace(find, replacement, caseSensitive_, env_.legacy);
        }
        return *replacer_;
    }

    void Record(const QByteArray& name, const QString& reason) {
        Add({name, reason, std::nullopt});
    }

    void Add(Entry entry) {
        entries_.push_back(std::move(entry));
        inHand_.clear();
    }

    // Reports the first entry; a pending save's outcome must be in completed_ by now.
    void ReportFirst() {
        const Entry entry = std::move(entries_.front());
        entries_.pop_front();
        QString reason = entry.reason;
        if (entry.save) {
            SaveOutcome saved = *entry.save;
            if (saved == SaveOutcome::Pending) {
                const SaveReport report = completed_.take(entry.ticket);
                saved = report.outcome;
                if (saved == SaveOutcome::Saved && altered_.contains(entry.ticket)) {
                    AlteredFile altered = altered_.take(entry.ticket);
                    altered.written = report.written;
                    altered.oldHash = report.replaced;
                    env_.undo->Add(std::move(altered));
                }
            }
            if (saved == SaveOutcome::AlreadySaved) {
                // Another name of a file this run has saved, and counted, under its first name.
                reason = Reason::SameFileAs(savedNames_.value(entry.ticket));
            } else if (saved != SaveOutcome::Saved) {
                reason = ReasonFor(saved);
            }
        }
        results_.Report(entry.name, reason);
        if (env_.report) {
            env_.report(entry.name, reason);
        }
    }

    RunEnvironment& env_;
    const bool caseSensitive_;
    const bool findOnly_;
    RunResults& results_;
    std::optional<Replacer> replacer_;
    QByteArray oldContent_;
    QByteArray inHand_;          // the file being processed, until what became of it is recorded
    std::deque<Entry> entries_;  // not reported yet, in list order
    QHash<SaveTicket, QByteArray> savedNames_;
    QHash<SaveTicket, AlteredFile> altered_;   // what each pending save changes, for an undo
    QHash<SaveTicket, SaveReport> completed_;  // pending saves the store reported completed
    bool saving_ = false;
};

// Ends a run that an exception cut short, as a stop would, with the file in hand left for reason.
void EndAfterError(Run& run, FileList& fileList, RunResults& results, const QString& reason) {
    if (run.Abandon(reason)) {
        ++results.FilesProcessed;
    }
    fileList.SetVisible(true);
}

// How many entries ahead of the one in hand the store is told of.
constexpr int kReadAhead = 32;

}  // namespace

QByteArray AddBackslash(const QByteArray& path) {
    Q_ASSERT(!path.isEmpty());
    if (path.endsWith(kFolderSeparator)) {
        return path;
    }
    return path + kFolderSeparator;
}

void ProcessFileList(RunEnvironment& env, FileList& fileList, const qint16& caseSensitive,
                     const qint16& selectedOnly, const qint16& findOnly, RunResults& results) {
    fileList.SetVisible(false);
    results = RunResults{};
    if (env.undo) {
        env.undo->Clear();
    }
    Run run(env, caseSensitive != 0, findOnly != 0, results);
    try {
        Yield(env);
        const int last = fileList.ListCount() - 1;
        int hinted = -1;
        for (int i = 0; i <= last; ++i) {
            if (env.stop && *env.stop) {
                break;
            }
            // Bench rows "cold": the next files are asked for while this one is worked on
            // (corpus A find, cold: median 1.77 s without, 0.64 s with).
            for (; hinted < std::min(last, i + kReadAhead); ++hinted) {
                if (hinted >= i && (selectedOnly != 1 || fileList.Selected(hinted + 1))) {
                    const QByteArray ahead = fileList.List(hinted + 1);
                    if (!ahead.isEmpty()) {
                        env.files.WillRead(AddBackslash(fileList.Path()) + ahead);
                    }
                }
            }
            fileList.SetListIndex(i);
            // Selected is read whatever the option; an entry that is gone (empty name) is
            // skipped.
            const bool selected = fileList.Selected(i);
            if (selectedOnly == 1 && !selected) {
                continue;
            }
            const QByteArray name = fileList.List(i);
            if (name.isEmpty()) {
                continue;
            }
            run.ProcessFile(AddBackslash(fileList.Path()) + name, name);
            ++results.FilesProcessed;
            run.ReportKnown();

            Yield(env);
            const qint32 position = i;
            const qint32 maximum = fileList.ListCount() - 1;
            DrawProgressBar(env.progressBox, position, maximum);
            Yield(env);
        }
    } catch (const std::bad_alloc&) {
        EndAfterError(run, fileList, results, Reason::NotEnoughMemory);
        throw;
    } catch (...) {
        EndAfterError(run, fileList, results, Reason::InternalError);
        throw;
    }
    run.Finish();
    fileList.SetVisible(true);
}
