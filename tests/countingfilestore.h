// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "posixfilestore.h"

#include <QByteArrayList>

#include <functional>
#include <new>
#include <stdexcept>

// The real file store, recording which paths were read and saved; a read can be made to throw.
// Saves go through the real store's queue, so the window's runs see pending saves.
class CountingFileStore : public FileStore {
public:
    QByteArrayList reads;
    QByteArrayList saves;
    // When set, a read of a path for which it returns true throws std::runtime_error, or
    // std::bad_alloc when outOfMemory is set.
    std::function<bool(const QByteArray&)> failRead;
    bool outOfMemory = false;

    ReadOutcome ReadWholeFile(const QByteArray& path, QByteArray& content,
                              FileStamp& stamp) override;
    SaveOutcome BeginSave(const QByteArray& path, const FileStamp& readStamp,
                          QByteArrayView oldContent, const NewContent& content,
                          SaveTicket& ticket) override {
        saves.append(path);
        return real_.BeginSave(path, readStamp, oldContent, content, ticket);
    }
    QHash<SaveTicket, SaveReport> FinishSaves() override { return real_.FinishSaves(); }
    void WillRead(const QByteArray& path) override { real_.WillRead(path); }
    void WillOnlySearch(bool onlySearch) override { real_.WillOnlySearch(onlySearch); }
    void HoldFolder(std::shared_ptr<const HeldFolder> folder) override {
        real_.HoldFolder(std::move(folder));
    }
    QHash<SaveTicket, SaveReport> CompletedSaves() override { return real_.CompletedSaves(); }
    bool SavedAs(const FileStamp& stamp, SaveTicket& ticket) override {
        return real_.SavedAs(stamp, ticket);
    }
    bool LastReadDamaged() const override { return real_.LastReadDamaged(); }

private:
    PosixFileStore real_;
};

inline ReadOutcome CountingFileStore::ReadWholeFile(const QByteArray& path, QByteArray& content,
                                                    FileStamp& stamp) {
    reads.append(path);
    if (failRead && failRead(path)) {
        if (outOfMemory) {
            throw std::bad_alloc();
        }
        throw std::runtime_error("read failed");
    }
    return real_.ReadWholeFile(path, content, stamp);
}
