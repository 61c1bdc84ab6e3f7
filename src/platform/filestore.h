#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// What a read saw of a file, so that a later save can tell whether another program wrote it.
struct FileStamp {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 mtimeNs = 0;
    qint64 ctimeNs = 0;
};

enum class ReadOutcome {
    Read,           // the whole file is in the content
    CouldNotRead,   // missing, not permitted, or an I/O error
    NotRegularFile  // a folder, fifo, device or socket: it was not read
};

enum class SaveOutcome {
    Saved,                    // the new content is in place, durable once FinishSaves returns
    CouldNotWrite,            // writing, syncing or renaming failed; the original is untouched
    ReadOnly,                 // the file is not writable by its owner or by this process
    ChangedByAnotherProgram,  // the file differs from what the read saw
    SeveralHardLinks,         // a rename would split the links
    NotRegularFile,           // the path no longer leads to a regular file
    AlreadySaved,             // saved since the last FinishSaves, under this or another name
    Pending                   // BeginSave only: the outcome comes from FinishSaves
};

// Whole-file access for a run. Paths are raw bytes.
class FileStore {
public:
    virtual ~FileStore() = default;

    // Reads the whole file at path, following symlinks, with one stat and one read.
    virtual ReadOutcome ReadWholeFile(const QByteArray& path, QByteArray& content,
                                      FileStamp& stamp) = 0;
    // Replaces the content of the file at path (the target, where path is a symlink) with
    // content through a temporary file and a rename. Anything but Saved leaves the original
    // byte-identical and no temporary file behind. A file saved once is not saved again before
    // FinishSaves, so that a run reaching it through a symlink too replaces its text once.
    // The owner, group and mode bits are kept; a save that cannot keep them does not happen.
    virtual SaveOutcome SafeSave(const QByteArray& path, const FileStamp& readStamp,
                                 const QByteArray& content) = 0;
    // The same save, whose last steps (sync and rename) may go on while the caller reads the
    // next file: returns Pending when they do, else the outcome. content may be reused as soon
    // as it returns. This store saves at once.
    virtual SaveOutcome BeginSave(const QByteArray& path, const FileStamp& readStamp,
                                  const QByteArray& content) {
        return SafeSave(path, readStamp, content);
    }
    // Waits for the pending saves and makes every save since the last call durable (syncs
    // each folder they renamed into, once). Returns the outcome of each save that BeginSave
    // left pending, in the order they began.
    virtual QList<SaveOutcome> FinishSaves() = 0;
};
