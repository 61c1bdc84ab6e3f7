// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <dirent.h>

#include <cstring>
#include <vector>

class FilePattern;
class HeldFolder;

// What one folder holds, read with POSIX calls so that names keep their raw bytes. Names
// starting with "." are hidden and left out unless asked for; symbolic links count as what
// they lead to.
class FolderListing {
public:
    // Whether the reads to come list the hidden names too ("." and ".." never); false at first.
    void SetShowHidden(bool show) { showHidden_ = show; }
    // What a reading keeps.
    enum class Keep { FilesAndFolders, FoldersOnly };
    // Reads folder; with FoldersOnly, files() stays empty. On failure returns false with the
    // system's description in error and leaves files and folders empty.
    bool Read(const QByteArray& folder, QString& error, Keep keep = Keep::FilesAndFolders);
    // Reads the folder held, whatever its path leads to now.
    bool Read(const HeldFolder& folder, QString& error);

    // The regular files in FileName's order. Each list is sorted when
    // first asked for: a folder list of a folder of many files does not sort the files.
    const QList<QByteArray>& files() const { return Sorted(files_, unsortedFiles_); }
    // The sub-folders, sorted the same way.
    const QList<QByteArray>& folders() const { return Sorted(folders_, unsortedFolders_); }
    // The regular files whose names pass filter, in the order of files(): what a file list
    // with that filter shows.
    QList<QByteArray> FilesMatching(const FilePattern& filter) const;
    // Whether the last reading read the folder open as fd, whatever its path leads to now.
    bool IsOf(int fd) const;

private:
    // Reads dir and closes it; a null dir fails with errno's description.
    bool Read(DIR* dir, QString& error, Keep keep = Keep::FilesAndFolders);
    // Names as read, before they are sorted: each ends in a NUL, one after the other in one
    // block, so that reading a folder allocates nothing per name.
    struct Unsorted {
        std::vector<char> bytes;
        std::vector<std::size_t> starts;
        std::size_t size() const { return starts.size(); }
        QByteArrayView operator[](std::size_t i) const {
            const std::size_t end = i + 1 < starts.size() ? starts[i + 1] : bytes.size();
            return {bytes.data() + starts[i], qsizetype(end - starts[i] - 1)};
        }
        void Append(const char* name) {
            starts.push_back(bytes.size());
            bytes.insert(bytes.end(), name, name + std::strlen(name) + 1);
        }
    };
    // The names of unsorted whose indices are picked (all of them when picked is null), copied
    // in FileName's order.
    static QList<QByteArray> SortNames(const Unsorted& unsorted,
                                       const std::vector<std::size_t>* picked);
    static const QList<QByteArray>& Sorted(QList<QByteArray>& names, Unsorted& unsorted);

    mutable QList<QByteArray> files_;  // once sorted
    mutable QList<QByteArray> folders_;
    mutable Unsorted unsortedFiles_;  // until sorted
    mutable Unsorted unsortedFolders_;
    bool showHidden_ = false;
    dev_t device_ = 0;  // the folder last read; 0 and 0 when none was
    ino_t inode_ = 0;
};
