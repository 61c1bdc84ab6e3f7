// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contenthash.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QtGlobal>

#include <cstdint>
#include <functional>
#include <memory>

class HeldFolder;

// What a read saw of a file, so that a later save can tell whether another program wrote it.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

enum class ReadOutcome {
    Read,              // the whole file is in the content
    CouldNotRead,      // not permitted, or an I/O error
    Missing,           // no file by that name
    NotRegularFile,    // a folder, fifo, device or socket: it was not read
    LinkOfAnotherUser  // a symlink of another user's to a file not of its owner: not followed
};

enum class SaveOutcome {
    Saved,                    // the new content is in place, durable once FinishSaves returns
    CouldNotWrite,            // writing, syncing or renaming failed; the original is untouched
    ReadOnly,                 // the file is not writable by its owner or by this process
    ChangedByAnotherProgram,  // the file differs from what the read saw
    SeveralHardLinks,         // a rename would split the links
    NotRegularFile,           // the path no longer leads to a regular file
    AlreadySaved,             // saved since the last FinishSaves, under this or another name
    InUse,                    // another program has the file open for writing, or locked
    LinkOfAnotherUser,        // a symlink of another user's to a file not of its owner
    Pending                   // the outcome comes from FinishSaves
};

// Names one save that BeginSave began, for FinishSaves to report on.
using SaveTicket = quint64;

// What became of a save that BeginSave left pending.
struct SaveReport {
    SaveOutcome outcome = SaveOutcome::CouldNotWrite;
    FileStamp written;     // Saved: the stamp of the file now in the target's place
    ContentHash replaced;  // Saved: the hash of the content it replaced
};

// The new content of a file, handed over in pieces so that it need not be put together.
class NewContent {
public:
    virtual ~NewContent() = default;
    // Calls write with each piece in order; stops and returns false as soon as write returns
    // false, else returns true.
    virtual bool WriteTo(const std::function<bool(QByteArrayView)>& write) const = 0;
};

// Where a piece of new content lies within the old content it was made from, or -1 for a piece
// from elsewhere (a replacement). Addresses are compared as numbers: the piece may come from
// another buffer altogether.
inline qsizetype OffsetWithin(QByteArrayView old, QByteArrayView piece) {
    const auto address = [](const char* at) { return reinterpret_cast<std::uintptr_t>(at); };
    const bool within = address(piece.data()) >= address(old.data()) &&
                        address(piece.data() + piece.size()) <= address(old.data() + old.size());
    return within ? qsizetype(address(piece.data()) - address(old.data())) : -1;
}

// New content that is whole in memory already.
class WholeContent : public NewContent {
public:
    explicit WholeContent(QByteArrayView content) : content_(content) {}
    bool WriteTo(const std::function<bool(QByteArrayView)>& write) const override {
        return content_.isEmpty() || write(content_);
    }

private:
    QByteArrayView content_;
};

// Whole-file access for a run. Paths are raw bytes. A run tells WillOnlySearch first, then
// reads and saves, and ends with FinishSaves. What each call may do to a folder:
// - a read, a hint of one (WillRead) or a save reaching a folder for the first time in a run
//   that may save (WillOnlySearch(false)) removes the temporary files that killed runs of this
//   user left there; in a run that only searches, nothing is made or removed;
// - a save makes one temporary file in the target's folder and renames it over the target, or
//   removes it; a kill between its link and its rename leaves it named ".quillmark-PID-RANDOM",
//   for the next run that may save in the folder to remove;
// - FinishSaves syncs the folders saved into;
// - nothing else creates, changes or removes anything.
class FileStore {
public:
    virtual ~FileStore() = default;

    // From now on, a path whose folder part is folder's path reaches the entry of that folder
    // as it was opened, whatever the path leads to now; other paths are opened as they stand.
    // Null: every path as it stands.
    virtual void HoldFolder(std::shared_ptr<const HeldFolder> folder) = 0;

    // Reads the whole file at path, following a symlink only when this user owns it or it
    // leads to a file of its own owner, with one stat and one read (or one mapping). content may
    // refer to memory of the store's that lasts until the store's next read or FinishSaves: it is
    // read there, not copied.
    virtual ReadOutcome ReadWholeFile(const QByteArray& path, QByteArray& content,
                                      FileStamp& stamp) = 0;
    // Begins replacing the content of the file at path (the target, where path is a
    // symlink) with content, through a temporary file and a rename; content is written before
    // it returns, while the sync and the rename may go on as the caller reads the next files.
    // oldContent is what the read gave: the save goes ahead only while the file still holds
    // exactly that. Returns Pending, with ticket set, when the outcome is to come from
    // FinishSaves, else the outcome; AlreadySaved sets ticket to the save that reached the
    // same file first. Anything but Saved leaves the original byte-identical and no temporary
    // file behind. The owner, group and mode bits are kept; a save that cannot keep them does
    // not happen.
    virtual SaveOutcome BeginSave(const QByteArray& path, const FileStamp& readStamp,
                                  QByteArrayView oldContent, const NewContent& content,
                                  SaveTicket& ticket) = 0;
    // Waits for the pending saves and makes every save since the last call durable (syncs
    // each folder they renamed into, once); a run calls it at its end, saved or not. Returns
    // what became of each save that BeginSave left pending, by its ticket.
    virtual QHash<SaveTicket, SaveReport> FinishSaves() = 0;
    // Without waiting: what became of the saves that BeginSave left pending and that have
    // completed since the last call (or the last FinishSaves), by their ticket. FinishSaves
    // still reports them. A store may report none here: then every outcome comes from
    // FinishSaves.
    virtual QHash<SaveTicket, SaveReport> CompletedSaves() = 0;
    // A hint that the file at path will be read soon, so that it may be on its way from the
    // disk meanwhile. A store may ignore it.
    virtual void WillRead(const QByteArray& path) = 0;
    // Whether the reads to come until the next call, and the run they belong to, only search:
    // a search that may end at its first hit, so that a large file may come from the disk as
    // it is reached instead of whole before the read returns, and a run that saves nothing, in
    // which a read removes nothing.
    virtual void WillOnlySearch(bool onlySearch) = 0;
    // Whether the file a read stamped is one this run has saved, or is saving, under another
    // name, told by its device and inode whatever it holds by now; ticket is then that save's.
    virtual bool SavedAs(const FileStamp& stamp, SaveTicket& ticket) = 0;
    // Whether the content of the last read may not be what the file held: another program
    // shortened a mapped file while it was read, and the lost part reads as zeros.
    virtual bool LastReadDamaged() const = 0;
};
