#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QtGlobal>

#include <functional>

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

// The new content of a file, handed over in pieces so that it need not be put together.
class NewContent {
public:
    virtual ~NewContent() = default;
    // Calls write with each piece in order; stops and returns false as soon as write returns
    // false, else returns true.
    virtual bool WriteTo(const std::function<bool(QByteArrayView)>& write) const = 0;
};

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

// Whole-file access for a run. Paths are raw bytes.
class FileStore {
public:
    virtual ~FileStore() = default;

    // Reads the whole file at path, following symlinks, with one stat and one read (or one
    // mapping). content may refer to memory of the store's that lasts until the store's next
    // read or FinishSaves: it is read there, not copied.
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
    // next file: returns Pending when they do, else the outcome. content is written before
    // it returns. This store puts the content together and saves at once.
    virtual SaveOutcome BeginSave(const QByteArray& path, const FileStamp& readStamp,
                                  const NewContent& content) {
        QByteArray whole;
        content.WriteTo([&](QByteArrayView piece) {
            whole.append(piece);
            return true;
        });
        return SafeSave(path, readStamp, whole);
    }
    // Waits for the pending saves and makes every save since the last call durable (syncs
    // each folder they renamed into, once); a run calls it at its end, saved or not. Returns
    // the outcome of each save that BeginSave left pending, in the order they began.
    virtual QList<SaveOutcome> FinishSaves() = 0;
};
