#pragma once

#include "filestore.h"
#include "mappedfile.h"
#include "workqueue.h"

#include <QByteArray>
#include <QPair>
#include <QSet>

#include <functional>
#include <memory>
#include <mutex>

// The real file store: POSIX reads, and saves through a temporary file in the target's
// folder that is written in full, given the old owner, mode and extended attributes, synced,
// and renamed over the target only when the target is still what the read saw. BeginSave
// leaves the sync and the rename to a few threads, so that the disk waits of one save overlap
// the reading of the next files.
class PosixFileStore : public FileStore {
public:
    PosixFileStore();
    // Finishes the saves still pending.
    ~PosixFileStore() override;

    // A file of kMapAtLeast bytes or more is mapped, not copied: content then refers to the
    // mapping, which lasts until the next read or FinishSaves.
    ReadOutcome ReadWholeFile(const QByteArray& path, QByteArray& content,
                              FileStamp& stamp) override;
    SaveOutcome SafeSave(const QByteArray& path, const FileStamp& readStamp,
                         const QByteArray& content) override;
    SaveOutcome BeginSave(const QByteArray& path, const FileStamp& readStamp,
                          const NewContent& content) override;
    QList<SaveOutcome> FinishSaves() override;

    // Called with the target's path, on the caller's thread, when the temporary file is
    // written and only its sync and the last look at the target before the rename are left;
    // tests use it to act as another program.
    void SetBeforeRenameHook(std::function<void(const QByteArray& target)> hook) {
        beforeRename_ = std::move(hook);
    }

private:
    struct PreparedSave;
    using FileKey = QPair<quint64, quint64>;  // device and inode

    static constexpr qsizetype kMapAtLeast = qsizetype(4) << 20;
    static constexpr int kSaveThreads = 4;
    // Each pending save holds a file descriptor.
    static constexpr int kMostPendingSaves = 64;

    SaveOutcome Prepare(const QByteArray& path, const FileStamp& readStamp,
                        const NewContent& content, std::unique_ptr<PreparedSave>& prepared);
    static SaveOutcome Complete(PreparedSave& save);
    static SaveOutcome Abandon(const PreparedSave& save, SaveOutcome outcome);
    bool IsSaved(const FileKey& key);
    // Both names of a file count as saved while it is in hand and after: before the rename a
    // second name of it leads to the old file, after it to the new one.
    void MarkSaving(const PreparedSave& save);
    // A save that failed leaves the file free to be saved again.
    void ForgetSave(const PreparedSave& save);

    MappedFile mapped_;  // the last file read, when it was large
    QSet<QByteArray> foldersToSync_;
    // The files saved, or being saved, since the last FinishSaves.
    QSet<FileKey> saved_;
    std::mutex savedMutex_;
    std::unique_ptr<WorkQueue> pending_;
    std::function<void(const QByteArray&)> beforeRename_;
};
