// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A file list over a real folder, read with opendir/readdir so that names stay raw bytes.

#include "filelist.h"

#include <QByteArrayList>
#include <QList>

#include <dirent.h>
#include <fnmatch.h>

#include <algorithm>
#include <cstring>

// Every entry of folder but "." and "..", sorted by bytes.
inline QByteArrayList FolderEntries(const QByteArray& folder) {
    QByteArrayList names;
    if (DIR* dir = ::opendir(folder.constData())) {
        while (const dirent* entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
                names.append(QByteArray(entry->d_name));
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The entries of one folder whose names match one of the patterns (fnmatch, hidden names
// and folders included), in byte order, read when constructed and on Refresh; none selected.
class FolderFileList : public FileList {
public:
    explicit FolderFileList(QByteArray folder, QByteArrayList patterns = {"*"})
        : folder_(std::move(folder)), patterns_(std::move(patterns)) {
        Refresh();
    }

    QByteArray Path() const override { return folder_; }
    int ListCount() const override { return int(names_.size()); }
    QByteArray List(int i) const override {
        return i >= 0 && i < names_.size() ? names_[i] : QByteArray();
    }
    bool Selected(int) const override { return false; }
    void Refresh() {
        names_.clear();
        for (const QByteArray& name : FolderEntries(folder_)) {
            for (const QByteArray& pattern : patterns_) {
                if (::fnmatch(pattern.constData(), name.constData(), 0) == 0) {
                    names_.append(name);
                    break;
                }
            }
        }
    }

private:
    QByteArray folder_;
    QByteArrayList patterns_;
    QByteArrayList names_;
};
