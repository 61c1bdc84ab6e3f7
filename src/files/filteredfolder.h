// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filelist.h"
#include "filepattern.h"
#include "heldfolder.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// The file list without a window: the files of one folder that pass a filter, in the order
// and with the filter of the window's file list, and a selection of entries.
class FilteredFolder : public FileList {
public:
    // A list of folder (a path the system accepts) with filter, and with the hidden names
    // when showHidden; empty until Read.
    FilteredFolder(QByteArray folder, FilePattern filter, bool showHidden = false);

    // Lists the folder with nothing selected; the first call opens it and holds it, and
    // later ones list the folder held. When the folder cannot be read returns false with the
    // system's description in error and lists nothing.
    bool Read(QString& error);
    // The folder held since the first Read; null before it, or when it could not be opened.
    const std::shared_ptr<const HeldFolder>& Folder() const { return held_; }

    QByteArray Path() const override { return folder_; }
    int ListCount() const override { return int(names_.size()); }
    QByteArray List(int i) const override { return names_.value(i); }
    bool Selected(int i) const override { return selected_.value(i, false); }
    // Selects or deselects entry i; other entries keep their selection. No entry i: no effect.
    void SetSelected(int i, bool selected);
    // Lists the folder again; a folder that can no longer be read lists nothing.
    void Refresh();

    // The index of the entry named exactly name, or -1.
    int IndexOf(const QByteArray& name) const { return int(names_.indexOf(name)); }

private:
    QByteArray folder_;
    std::shared_ptr<const HeldFolder> held_;
    FilePattern filter_;
    bool showHidden_;
    QList<QByteArray> names_;
    QList<bool> selected_;
};
