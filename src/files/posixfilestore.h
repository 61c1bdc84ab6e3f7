// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fd.h"
#include "filestore.h"
#include "heldfolder.h"
#include "mappedfile.h"
#include "readahead.h"
#include "readpool.h"
#include "workqueue.h"

#include <QByteArray>
#include <QHash>
#include <QPair>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class FileSave;
struct StoreFolder;
struct statx;

// The real file store: POSIX reads, and saves through a temporary file in the target's
// folder that is written in full, given the old owner, mode and extended attributes, synced,
// and renamed over the target only when the target still holds exactly what the read saw and
// no other program has opened it for writing meanwhile (FileSave holds those steps). BeginSave
// leaves the sync, the last checks and the rename to a few threads, so that the disk waits of
// one save overlap the reading of the next files. Every step after the target's folder is found
// works relative to the folder's descriptor, so a file whose own path the system accepts can be
// saved. The entries of a held folder are reached through its descriptor, and a symlink of another
// user's is followed only to a file of its owner's.
class PosixFileStore : public FileStore {
public:
    PosixFileStore();
    // Finishes the saves still pending.
    ~PosixFileStore() override;

    // A file of kMapAtLeast bytes or more is mapped, not copied: content then refers to the
    // mapping, which lasts until the next read or FinishSaves. In a run that may save, the file
    // stays open for its save until the next read or FinishSaves.
    ReadOutcome ReadWholeFile(const QByteArray& path, QByteArray& content,
                              FileStamp& stamp) override;
    SaveOutcome BeginSave(const QByteArray& path, const FileStamp& readStamp,
                          QByteArrayView oldContent, const NewContent& content,
                          SaveTicket& ticket) override;
    QHash<SaveTicket, SaveReport> FinishSaves() override;
    // What BeginSave would decide about saving path, with every look it takes at the target
    // before it writes: Pending where it would go on to write, else the outcome it would give.
    // Creates, changes and removes nothing; the saves of this store are not looked at.
    SaveOutcome CheckSave(const QByteArray& path, const FileStamp& readStamp);
    // Between runs only.
    void HoldFolder(std::shared_ptr<const HeldFolder> folder) override;
    bool SavedAs(const FileStamp& stamp, SaveTicket& ticket) override;
    // A save has completed once its rename is done, or once it was given up.
    QHash<SaveTicket, SaveReport> CompletedSaves() override;
    // Bench rows "cold": the disk reads the next files while the run works on this one.
    void WillRead(const QByteArray& path) override;
    void WillOnlySearch(bool onlySearch) override { onlySearch_ = onlySearch; }
    bool LastReadDamaged() const override { return mapped_ && mapped_->Damaged(); }

    // Called with the target's path, on the caller's thread, when the temporary file is
    // written and only its sync, the last looks at the target and the rename are left; tests
    // use it to act as another program.
    void SetBeforeRenameHook(std::function<void(const QByteArray& target)> hook) {
        beforeRename_ = std::move(hook);
    }

private:
    using FileKey = QPair<quint64, quint64>;  // device and inode

    // Files this large are mapped, not read into fresh memory: bench row "B find" 0.05 s read,
    // 0.023 s mapped; "B replace" varied 0.36-1.7 s read, 0.56-0.86 s mapped.
    static constexpr qsizetype kMapAtLeast = qsizetype(4) << 20;
    // Files smaller than this are read ahead on the pool's threads in a run that only searches.
    static constexpr qsizetype kReadAheadBelow = qsizetype(1) << 20;
    // Reads on the pool's threads what ReadWholeFile reads, except a file of kReadAheadBelow
    // bytes or more.
    static bool ReadForPool(int folderFd, const QByteArray& name, ReadPool::Read& read);
    // Four threads sync and rename while the run reads on: bench row "A replace" went from
    // 0.58-0.74 s with the saves made in turn to 0.25-0.27 s.
    static constexpr int kSaveThreads = 4;
    // Each pending save holds two file descriptors: the target's and its temporary file's.
    static constexpr int kMostPendingSaves = 64;

    // The folder of path and the bare name of its entry: the held folder's when path is in
    // it, else the folder opened by its path. Null with errno set when it cannot be opened.
    std::shared_ptr<StoreFolder> Locate(const QByteArray& path, QByteArray& name);
    // The folder at path, opened once a run; null with errno set when it cannot be opened.
    std::shared_ptr<StoreFolder> FolderFor(const QByteArray& path);
    // A folder the run reaches for the first time. In a run that may save, the temporary files
    // that killed runs left there are removed now: the one place the store removes files other
    // than its own saves' temporary files.
    void Enter(StoreFolder& folder);
    // Where a save of path writes: the folder and name of the regular file that path leads
    // to, with target its path for the hook and entry its status; Pending when found, else
    // why not.
    SaveOutcome FindTarget(const QByteArray& path, std::shared_ptr<StoreFolder>& folder,
                           QByteArray& name, QByteArray& target, struct statx& entry);
    // Finds the target of a save of path and makes the checks that may refuse the save before
    // anything is written (read as for FileSave::Check); Pending, with save and target set, when
    // the save may go on.
    SaveOutcome Check(const QByteArray& path, const FileStamp& readStamp, Fd& read,
                      std::unique_ptr<FileSave>& save, QByteArray& target);
    // Checks and writes a save of path; Pending with the save when what is left is the queue's.
    SaveOutcome Prepare(const QByteArray& path, const FileStamp& readStamp,
                        QByteArrayView oldContent, const NewContent& content,
                        std::unique_ptr<FileSave>& prepared);
    // Records the save as this run's: from now on SavedAs knows its files.
    SaveTicket Register(const FileSave& save);
    // Records what became of the save, under savedMutex_, while it still holds its files open.
    void Settle(const FileSave& save, SaveTicket ticket, const SaveReport& report);

    // The last file read, when it was large; a pending save of it shares the mapping.
    std::shared_ptr<MappedFile> mapped_;
    // The last file read, still open, and its stamp: a save of it takes the descriptor over.
    Fd lastRead_;
    FileStamp lastReadStamp_;
    bool onlySearch_ = false;
    const char* handedOut_ = nullptr;  // the mapping the last read's content refers to
    std::shared_ptr<const HeldFolder> held_;
    std::shared_ptr<StoreFolder> heldFolder_;  // held_'s state in this run
    QHash<QByteArray, std::shared_ptr<StoreFolder>> folders_;
    SaveTicket lastTicket_ = 0;
    // The saves left to the queue, in the order they began, and what became of them.
    std::vector<SaveTicket> pendingTickets_;
    std::vector<SaveReport> reports_;
    std::vector<std::size_t> completed_;  // the slots completed since the last CompletedSaves
    // The files saved, or being saved, since the last FinishSaves. A file being saved is known
    // by its old device and inode, which stay its own while the save holds it open; a saved
    // one by the device and inode of its new file, and by the whole stamp of its old one, which
    // a number freed and given out again would not match.
    std::mutex savedMutex_;
    QHash<FileKey, SaveTicket> beingSaved_;
    QHash<FileKey, SaveTicket> savedNew_;
    QMultiHash<FileKey, QPair<FileStamp, SaveTicket>> savedOld_;
    std::unique_ptr<WorkQueue> pending_;
    std::unique_ptr<ReadAhead> readAhead_;
    // Bench rows "find" against rg with its threads: in a run that only searches, the next
    // files are read on the other cores.
    std::unique_ptr<ReadPool> readPool_;
    std::function<void(const QByteArray&)> beforeRename_;
};
