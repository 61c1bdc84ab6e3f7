// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filestore.h"
#include "replacer.h"

#include <QByteArray>
#include <QHash>
#include <QPair>

#include <memory>
#include <optional>

struct CommandLine;
class LegacyEncoding;
class PosixFileStore;

// The real store as --dry-run and --lines see it: reads go to it as they are. With dry, no
// save writes: each goes as far as the real store's last look before writing, and one that
// would go on is called Saved at once, its unified diff kept for its name; nothing is created,
// changed or removed, not even the temporary files of killed runs. With lines, the lines on
// which each file read holds the search text are kept for its name.
class PreviewStore : public FileStore {
public:
    // Previews as request asks (--dry-run, --lines); otherwise passes everything on to real,
    // which must outlive it.
    PreviewStore(PosixFileStore& real, const CommandLine& request);

    // What to print for the file a run names as found or altered under name: its diff (dry),
    // or its lines; nothing kept for it gives null. Forgets it.
    QByteArray Take(const QByteArray& name) { return kept_.take(name); }

    void HoldFolder(std::shared_ptr<const HeldFolder> folder) override;
    ReadOutcome ReadWholeFile(const QByteArray& path, QByteArray& content,
                              FileStamp& stamp) override;
    SaveOutcome BeginSave(const QByteArray& path, const FileStamp& readStamp,
                          QByteArrayView oldContent, const NewContent& content,
                          SaveTicket& ticket) override;
    QHash<SaveTicket, SaveReport> FinishSaves() override;
    QHash<SaveTicket, SaveReport> CompletedSaves() override;
    void WillRead(const QByteArray& path) override;
    void WillOnlySearch(bool onlySearch) override;
    bool SavedAs(const FileStamp& stamp, SaveTicket& ticket) override;
    bool LastReadDamaged() const override;

private:
    PosixFileStore& real_;
    const bool dry_;
    std::optional<Replacer> lines_;  // finds the occurrences listed with --lines
    const bool nulEnded_;
    std::shared_ptr<const LegacyEncoding> legacy_;
    QHash<QByteArray, QByteArray> kept_;  // by name
    // The files a dry run would have saved, by device and inode.
    QHash<QPair<quint64, quint64>, SaveTicket> saved_;
    SaveTicket lastTicket_ = 0;
};
