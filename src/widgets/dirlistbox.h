// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drivename.h"
#include "folderlisting.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTreeWidget>

#include <optional>

class DriveSource;

// The folder list: the chain of folders from the drive that holds the shown folder down to
// that folder, then the folder's own sub-folders, one level deeper. A sub-folder that is itself
// a drive is left out: it is reached through the drive list, so a folder opened here always
// lies on the drive the chain starts from. Opening an entry (double click or Enter) shows
// that folder.
class DirListBox : public QTreeWidget {
    Q_OBJECT

public:
    // Starts on the process's current folder. drives must outlive the list.
    explicit DirListBox(DriveSource& drives, QWidget* parent = nullptr);

    // The shown folder as a full path without a trailing separator ("/" itself excepted).
    QByteArray Path() const { return path_; }
    // Shows folder (a full path; "." and ".." are resolved by name). When it cannot be
    // listed returns false with a description in error, and the path and the entries stay as
    // they were. Raises Change, before returning, when the path changed. Showing the same
    // folder again lists it afresh and keeps the current entry when it is still there.
    bool SetPath(const QByteArray& folder, QString& error);
    // Shows drive's current folder: the folder last shown on it by this list; else the
    // process's current folder when the drive holds it; else the mount point. A remembered
    // folder that is no longer there is passed over. A drive that is not ready returns false
    // with the reason in error and changes nothing; otherwise as SetPath with that folder.
    bool SetPath(const DriveName& drive, QString& error);

    // The entries from top to bottom as full paths.
    QList<QByteArray> EntryPaths() const;
    // What the folder held when this list last moved to it, files included, for a file list
    // to show without reading the folder again; nothing once taken or when the last SetPath
    // stayed on its folder.
    std::optional<FolderListing> TakeListing();

    // path made absolute-clean: single separators, "." and ".." resolved by name, no trailing
    // separator. Returns an empty array for a path that does not start with "/".
    static QByteArray CleanPath(const QByteArray& path);

signals:
    // The shown folder changed.
    void Change();
    // Opening an entry failed; the shown folder is still Path(), listed again so that an
    // entry for a folder that has gone goes too.
    void OpenFailed(const QString& description);

protected:
    // The chain is always open: no expand or collapse marks are drawn.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

private:
    void Open(QTreeWidgetItem* item);
    QByteArray CurrentFolderOf(const QByteArray& drive) const;

    DriveSource& drives_;
    QByteArray path_;
    std::optional<FolderListing> listing_;
    // Per drive (mount point), the folder last shown on it.
    QHash<QByteArray, QByteArray> lastShown_;
};
