#pragma once

#include "filestore.h"

#include <QByteArray>
#include <QPair>
#include <QSet>

#include <functional>

// The real file store: POSIX reads, and saves through a temporary file in the target's
// folder that is written in full, given the old owner, mode and extended attributes, synced,
// and renamed over the target only when the target is still what the read saw.
class PosixFileStore : public FileStore {
public:
    ReadOutcome ReadWholeFile(const QByteArray& path, QByteArray& content,
                              FileStamp& stamp) override;
    SaveOutcome SafeSave(const QByteArray& path, const FileStamp& readStamp,
                         const QByteArray& content) override;
    void FinishSaves() override;

    // Called with the target's path when the temporary file is complete, just before the
    // target is looked at for the last time; tests use it to act as another program.
    void SetBeforeRenameHook(std::function<void(const QByteArray& target)> hook) {
        beforeRename_ = std::move(hook);
    }

private:
    QSet<QByteArray> foldersToSync_;
    // Device and inode of each file saved since the last FinishSaves.
    QSet<QPair<quint64, quint64>> saved_;
    std::function<void(const QByteArray&)> beforeRename_;
};
