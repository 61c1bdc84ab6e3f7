// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// What a run reads of the file list: the folder, the entries and which of them the user has
// selected. Names are raw file-name bytes as they are on disk; they need not be valid UTF-8.
class FileList {
public:
    virtual ~FileList() = default;

    // The folder whose files the list shows, as a full path; never empty.
    virtual QByteArray Path() const = 0;
    // The number of entries.
    virtual int ListCount() const = 0;
    // The bare file name of entry i (0-based), without folder; empty when there is no entry i.
    virtual QByteArray List(int i) const = 0;
    // Whether the user has selected entry i; false when there is no entry i.
    virtual bool Selected(int i) const = 0;
};
