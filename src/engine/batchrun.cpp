#include "batchrun.h"

#include "eventpump.h"
#include "filelist.h"
#include "filestore.h"
#include "pathsyntax.h"
#include "progressbar.h"
#include "replacer.h"
#include "textsource.h"

#include <cstring>
#include <optional>

namespace {

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
        case SaveOutcome::Saved:
        case SaveOutcome::CouldNotWrite:
        case SaveOutcome::AlreadySaved:
            break;
    }
    return Reason::CouldNotBeWritten;
}

bool HoldsNul(const QByteArray& content) {
    return std::memchr(content.constData(), 0, std::size_t(content.size())) != nullptr;
}

void Yield(RunEnvironment& env) {
    if (env.pump) {
        env.pump->DoEvents();
    }
}

// One run's state beyond its results: the replacer for the current texts, kept while the
// texts stay the same, and the buffers reused from file to file.
class Run {
public:
    Run(RunEnvironment& env, bool caseSensitive, bool findOnly, RunResults& results)
        : env_(env), caseSensitive_(caseSensitive), findOnly_(findOnly), results_(results) {}

    // Processes one qualifying file and records what became of it.
    void ProcessFile(const QByteArray& path, const QByteArray& name) {
        FileStamp stamp;
        const ReadOutcome read = env_.files.ReadWholeFile(path, oldContent_, stamp);
        if (read != ReadOutcome::Read) {
            const bool special = read == ReadOutcome::NotRegularFile && !findOnly_;
            Leave(name, special ? Reason::NotARegularFile : Reason::CouldNotBeRead);
            return;
        }
        const Replacer& replacer = ReplacerForCurrentTexts();
        if (findOnly_) {
            if (replacer.Contains(oldContent_)) {
                Count(name);
            }
            return;
        }
        bool changed = false;
        if (!replacer.ReplaceAll(oldContent_, newContent_, &changed) || !changed) {
            return;
        }
        if (HoldsNul(oldContent_)) {
            Leave(name, Reason::BinaryFile);
            return;
        }
        const SaveOutcome saved = env_.files.SafeSave(path, stamp, newContent_);
        if (saved == SaveOutcome::Saved) {
            savedAny_ = true;
            Count(name);
        } else if (saved == SaveOutcome::AlreadySaved) {
            // Another name of a file this run has changed and counted already.
        } else {
            Leave(name, ReasonFor(saved));
        }
    }

    // Makes the run's saves durable.
    void Finish() {
        if (savedAny_) {
            env_.files.FinishSaves();
        }
    }

private:
    // The texts are read again for every file: Clear may empty them during a run.
    const Replacer& ReplacerForCurrentTexts() {
        const QByteArray find = env_.texts.FindText();
        const QByteArray replacement = env_.texts.ReplaceText();
        if (!replacer_ || !replacer_->IsFor(find, replacement, caseSensitive_)) {
            replacer_.emplace(find, replacement, caseSensitive_);
        }
        return *replacer_;
    }

    void Count(const QByteArray& name) {
        ++results_.FilesAffected;
        results_.FoundList += QString::fromUtf8(name) + QStringLiteral("\r\n");
        results_.foundNames.append(name);
    }

    void Leave(const QByteArray& name, const QString& reason) {
        results_.leftUnchanged.append({name, reason});
    }

    RunEnvironment& env_;
    const bool caseSensitive_;
    const bool findOnly_;
    RunResults& results_;
    std::optional<Replacer> replacer_;
    QByteArray oldContent_;
    QByteArray newContent_;
    bool savedAny_ = false;
};

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
    Run run(env, caseSensitive != 0, findOnly != 0, results);
    Yield(env);

    const int last = fileList.ListCount() - 1;
    for (int i = 0; i <= last; ++i) {
        if (env.stop && *env.stop) {
            break;
        }
        fileList.SetListIndex(i);
        // Selected is read whatever the option; an entry that is gone (empty name) is skipped.
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

        Yield(env);
        const qint32 position = i;
        const qint32 maximum = fileList.ListCount() - 1;
        DrawProgressBar(env.progressBox, position, maximum);
        Yield(env);
    }
    run.Finish();
    fileList.SetVisible(true);
}
