// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <dirent.h>

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
    const QList<QByteArray>& files() const { return Sorted(files_, filesSorted_); }
    // The sub-folders, sorted the same way.
    const QList<QByteArray>& folders() const { return Sorted(folders_, foldersSorted_); }
    // The regular files whose names pass filter, in the order of files(): what a file list
    // with that filter shows.
    QList<QByteArray> FilesMatching(const FilePattern& filter) const;
    // Whether the last reading read the folder open as fd, whatever its path leads to now.
    bool IsOf(int fd) const;

private:
    // Reads dir and closes it; a null dir fails with errno's description.
    bool Read(DIR* dir, QString& error, Keep keep = Keep::FilesAndFolders);
    // Sorts names in FileName's order.
    static void SortNames(QList<QByteArray>& names);
    static const QList<QByteArray>& Sorted(QList<QByteArray>& names, bool& sorted) {
        if (!sorted) {
            SortNames(names);
            sorted = true;
        }
        return names;
    }

    mutable QList<QByteArray> files_;
    mutable QList<QByteArray> folders_;
    mutable bool filesSorted_ = true;
    mutable bool foldersSorted_ = true;
    bool showHidden_ = false;
    dev_t device_ = 0;  // the folder last read; 0 and 0 when none was
    ino_t inode_ = 0;
};
