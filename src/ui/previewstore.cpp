// SPDX-License-Identifier: GPL-3.0-or-later
#include "previewstore.h"

#include "commandline.h"
#include "linelister.h"
#include "posixfilestore.h"
#include "textdecoding.h"
#include "unifieddiff.h"

namespace {

QByteArray NameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

}  // namespace

PreviewStore::PreviewStore(PosixFileStore& real, const CommandLine& request)
    : real_(real),
      dry_(request.dryRun),
      nulEnded_(request.nulEnded),
      legacy_(request.legacy ? request.legacy : LegacyEncoding::Windows1252()) {
    if (request.lines) {
        lines_.emplace(request.findText, QByteArrayView(), request.caseSensitive, legacy_);
    }
}

void PreviewStore::HoldFolder(std::shared_ptr<const HeldFolder> folder) {
    real_.HoldFolder(std::move(folder));
}

ReadOutcome PreviewStore::ReadWholeFile(const QByteArray& path, QByteArray& content,
                                        FileStamp& stamp) {
    const ReadOutcome read = real_.ReadWholeFile(path, content, stamp);
    if (lines_ && read == ReadOutcome::Read) {
        const QByteArray name = NameOf(path);
        const QByteArray listed = ListLines(*lines_, content, name, nulEnded_, *legacy_);
        if (!listed.isEmpty()) {
            kept_.insert(name, listed);
        }
    }
    return read;
}

SaveOutcome PreviewStore::BeginSave(const QByteArray& path, const FileStamp& readStamp,
                                    QByteArrayView oldContent, const NewContent& content,
                                    SaveTicket& ticket) {
    if (!dry_) {
        return real_.BeginSave(path, readStamp, oldContent, content, ticket);
    }
    if (SavedAs(readStamp, ticket)) {
        return SaveOutcome::AlreadySaved;
    }
    const SaveOutcome checked = real_.CheckSave(path, readStamp);
    if (checked != SaveOutcome::Pending) {
        return checked;
    }
    const QByteArray name = NameOf(path);
    kept_.insert(name, UnifiedDiff(name, oldContent, EditsOf(oldContent, content)));
    ticket = ++lastTicket_;
    saved_.insert({readStamp.device, readStamp.inode}, ticket);
    return SaveOutcome::Saved;
}

QHash<SaveTicket, SaveReport> PreviewStore::FinishSaves() {
    saved_.clear();
    return real_.FinishSaves();
}

void PreviewStore::WillRead(const QByteArray& path) {
    real_.WillRead(path);
}

QHash<SaveTicket, SaveReport> PreviewStore::CompletedSaves() {
    return real_.CompletedSaves();
}

void PreviewStore::WillOnlySearch(bool onlySearch) {
    // Reads that only search remove no temporary files of killed runs.
    real_.WillOnlySearch(onlySearch || dry_);
}

bool PreviewStore::SavedAs(const FileStamp& stamp, SaveTicket& ticket) {
    if (!dry_) {
        return real_.SavedAs(stamp, ticket);
    }
    const auto saved = saved_.constFind({stamp.device, stamp.inode});
    if (saved == saved_.cend()) {
        return false;
    }
    ticket = *saved;
    return true;
}

bool PreviewStore::LastReadDamaged() const {
    return real_.LastReadDamaged();
}
