// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filelist.h"
#include "filenamemodel.h"
#include "filepattern.h"
#include "folderlisting.h"
#include "heldfolder.h"

#include <QByteArray>
#include <QFileSystemWatcher>
#include <QListView>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>

// The file list: the names of the regular, not hidden files of one folder that pass a
// filter, in FileName's order, with extended multiple selection. Each entry keeps its name's
// raw bytes. The folder is read when its path is set, on Refresh and when it changes from
// outside; a new filter picks from the names already read.
class FileListBox : public QListView, public FileList {
    Q_OBJECT

public:
    // How many entries are laid out at a time, between the window's other events.
    static constexpr int kLayoutBatch = 10000;

    enum class Start {
        Listed,  // lists the current folder at once
        Empty    // lists nothing until a path or filter is set or Refresh is called
    };
    // Starts on the process's current folder with the filter "*" and no entry selected.
    explicit FileListBox(QWidget* parent = nullptr, Start start = Start::Listed);

    QByteArray Path() const override { return path_; }
    int ListCount() const override { return shown_.Count(); }
    QByteArray List(int i) const override;
    bool Selected(int i) const override;
    // Selects or deselects entry i; other entries keep their selection. No entry i: no effect.
    void SetSelected(int i, bool selected);
    // Selects every entry whose index is in indices, as one change of the selection; other
    // entries keep their selection, and an index with no entry is skipped. Runs of
    // neighbouring indices become one range each, all applied in one select call.
    void SelectEntries(const QList<int>& indices);
    // Moves the current entry (the focus mark) to i without changing any selection; a shown
    // list scrolls it into view. While the list is hidden the mark is only noted, and placed
    // when the list shows again: nobody sees it meanwhile, and a run that hides the list sets
    // it for every entry.
    void SetListIndex(int i);
    // Lists the folder again; a folder that can no longer be read lists nothing.
    void Refresh();
    // While held, changes to the folder from outside wait; releasing follows those that came.
    void HoldChanges(bool hold);

    // Lists the files of folder, or those of listed when it was read from the folder opened
    // now. When the folder cannot be read returns false with a description in error; the
    // folder and the entries stay as they were.
    bool SetPath(const QByteArray& folder, QString& error,
                 std::optional<FolderListing> listed = std::nullopt);
    // The filter text last accepted.
    QString Pattern() const { return patternText_; }
    // Lists again with the filter text, from the names read last (the folder is read only
    // when none were). A text the filter rejects (see FilePattern) returns false with a
    // description in error and changes nothing.
    bool SetPattern(const QString& text, QString& error);
    // Takes the filter text as SetPattern does, for the names of the next SetPath: the list
    // shown stays as it is.
    bool TakePattern(const QString& text, QString& error);
    // The folder the list shows, open since its path was set: a run reads and saves through
    // it. Null when no folder could be opened.
    const std::shared_ptr<const HeldFolder>& Folder() const { return held_; }
    // The entry index that holds the current-entry mark, or -1.
    int ListIndex() const { return pendingIndex_.value_or(currentIndex().row()); }

signals:
    // The folder changed from outside and the list has followed it, with the names that
    // remain still selected.
    void FolderChanged();
    // The folder is no longer there (description says why); the list is empty.
    void FolderGone(const QString& description);

protected:
    void showEvent(QShowEvent* event) override;
    // Scrolls index into view, laying out what is not laid out yet.
    void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
    // Taking the focus scrolls the current entry into view, so the mark the keys move is seen.
    void focusInEvent(QFocusEvent* event) override;
    // The keys of any list; a movement key that cannot move the mark further (Home on the first
    // entry, Down on the last) still selects the entry it is on.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PlaceListIndex(int i);
    // Lays out every entry now, not batch by batch.
    void LayOutAll();
    // The folder held, opened by the path first when none is.
    const std::shared_ptr<const HeldFolder>& Held(QString& error);
    // Reads folder into names. A null folder fails.
    static bool Read(const std::shared_ptr<const HeldFolder>& folder, QList<QByteArray>& names,
                     QString& error);
    // Shows those of names, the folder's, that pass filter; nothing selected.
    void Show(const FilePattern& filter, QList<QByteArray> names);
    // Watches path_ from now on.
    void Watch();
    // Reads the folder again after a change from outside, keeping the selection.
    void Follow();

    QByteArray path_;
    std::shared_ptr<const HeldFolder> held_;
    bool listed_ = false;  // whether the names were read since the folder was opened
    // The entries, picked from every name the folder held when last read.
    FileNameModel shown_;
    // The pick shown before, kept for the next one: its memory is already the program's, where
    // a new one of a million entries is a thousand page faults (bench row K, one key in the
    // filter at 1,000,000 files).
    QList<int> spare_;
    std::optional<int> pendingIndex_;  // the mark set while the list was hidden
    QFileSystemWatcher watcher_;
    // Changes come in bursts; one reading follows each burst.
    QTimer settle_;
    bool changesHeld_ = false;
    bool changePending_ = false;
    QString patternText_ = QStringLiteral("*");
    FilePattern pattern_;
};
