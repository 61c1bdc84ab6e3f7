// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filestore.h"

#include <QByteArray>
#include <QByteArrayView>

#include <vector>

// What a replace run changed in one file, enough to put it back without having kept its old
// content: where the replacements lie in the new file and which bytes each replaced, with
// hashes that prove the file still holds exactly what the run wrote.
struct AlteredFile {
    // A replacement in the new file and the bytes it replaced. Adjacent occurrences form one.
    struct Region {
        qint64 at = 0;
        qint64 length = 0;
        QByteArray original;
    };

    QByteArray path;  // the path the run saved through (a symlink's, where it was one)
    QByteArray name;  // the bare name, as listed
    FileStamp written;
    qint64 newSize = 0;
    ContentHash oldHash;           // of the content the run replaced
    ContentHash replacementsHash;  // of the bytes of every region of the new file, joined
    std::vector<Region> regions;
};

// Watches the pieces of a file's new content as they are written, in order, and notes where
// the replacements lie. A piece that lies within the old content at or after the point
// reached is taken as the old text carried over; any other piece as replacement text. The
// notes are right for any division into pieces that is so made; an undo proves them against
// the hashes before it writes anything.
class ReplacementRecorder {
public:
    explicit ReplacementRecorder(QByteArrayView old) : old_(old) {}
    // Notes the next piece of the new content.
    void Piece(QByteArrayView piece);
    // Notes the end of the new content and fills file's regions, newSize and
    // replacementsHash.
    void Finish(AlteredFile& file);

private:
    QByteArrayView old_;
    qint64 oldAt_ = 0;  // the old content is carried over up to here
    qint64 newAt_ = 0;
    bool inRegion_ = false;
    qint64 regionAt_ = 0;
    ContentHasher replacements_;
    std::vector<AlteredFile::Region> regions_;
};

// The files the last replace run altered, in list order; empty when nothing can be undone.
class UndoRecord {
public:
    bool IsEmpty() const { return files_.empty(); }
    int Count() const { return int(files_.size()); }
    const std::vector<AlteredFile>& Files() const { return files_; }
    void Add(AlteredFile file) { files_.push_back(std::move(file)); }
    void Clear() { files_.clear(); }

private:
    std::vector<AlteredFile> files_;
};
