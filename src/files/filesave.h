// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fd.h"
#include "filestore.h"
#include "mappedfile.h"
#include "storefolder.h"
#include "temporaryfile.h"
#include "writewatch.h"

#include <QByteArray>
#include <QPair>

#include <sys/stat.h>

#include <memory>

// One save of a file, in its steps: the checks that may refuse it before anything is made, the
// temporary file written beside the target and given its metadata, and, on a save thread, the
// sync, the last looks at the target and the rename. What the run knows of its saves (tickets,
// the files saved) is the store's, not this.
class FileSave {
public:
    using FileKey = QPair<quint64, quint64>;  // device and inode

    // A save of the entry name of folder, as the read stamped it; entry is its status, looked
    // at without following a symlink.
    FileSave(std::shared_ptr<StoreFolder> folder, QByteArray name, const FileStamp& readStamp,
             const struct statx& entry);
    FileSave(const FileSave&) = delete;
    FileSave& operator=(const FileSave&) = delete;

    // Whether the target may be saved: still the regular file the read stamped, with a single
    // link, writable by its owner and this process, in a folder and of a kind that allow the
    // rename, and locked by no other program. read is the read's descriptor when the caller
    // still holds it: a save of that file takes it over. Pending when the save may go on.
    SaveOutcome Check(Fd& read);
    // Writes content to a temporary file in the target's folder and gives it the target's
    // owner, group, mode and extended attributes. oldContent is what the read gave, hashed here;
    // lastRead is the mapping of the store's last read, kept when oldContent is its view.
    // Pending when only the sync, the last looks and the rename are left.
    SaveOutcome Write(QByteArrayView oldContent, const NewContent& content,
                      const std::shared_ptr<MappedFile>& lastRead);
    // Syncs the temporary file, looks at the target a last time and puts the temporary file in
    // its place. On any thread.
    SaveReport Complete();
    // Lets go of the lease and of both files, whose numbers the system may then give out again.
    void LetGo();

    const FileStamp& ReadStamp() const { return readStamp_; }
    FileKey NewKey() const { return newKey_; }

private:
    // Whether the target still holds exactly the content the save was given as read.
    bool HoldsAsRead() const;
    // The outcome of a write that failed: the target may have changed meanwhile.
    SaveOutcome WriteFailed() const;

    std::shared_ptr<StoreFolder> folder_;
    QByteArray name_;  // the target's name in its folder
    FileStamp readStamp_;
    struct statx entry_ {};
    Fd old_;            // the target as read, open read-only for as long as the save lasts
    WriteWatch watch_;  // the target, leased from the last look at it until the save has decided
    TemporaryFile temporary_;
    ContentHash oldHash_;
    FileKey newKey_;  // the temporary file's device and inode
    // A large target's mapping, taken over from the read: it shows what the file holds now,
    // without reading it again. Bench row "B replace": the proof costs a hash, not a copy.
    std::shared_ptr<const MappedFile> mapping_;
};
