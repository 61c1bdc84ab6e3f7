// SPDX-License-Identifier: GPL-3.0-or-later
#include "filelistbox.h"

#include "currentfolder.h"

#include <QFocusEvent>
#include <QItemSelection>
#include <QKeyEvent>
#include <QScrollBar>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>

FileListBox::FileListBox(QWidget* parent, Start start) : QListView(parent) {
    setModel(&shown_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    // Bench rows K (keys in the filter at 1,000,000 files): a new pick of names is laid out in
    // batches between the window's other events, so the entries in view paint at once and the
    // next key does not wait for the layout of a million rows.
    setLayoutMode(QListView::Batched);
    setBatchSize(kLayoutBatch);
    // Half a second is the most a change may take to show; a burst is read once.
    settle_.setSingleShot(true);
    settle_.setInterval(100);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!settle_.isActive()) {
            settle_.start();
        }
    });
    connect(&settle_, &QTimer::timeout, this, &FileListBox::Follow);
    QString error;
    pattern_ = *FilePattern::Parse(patternText_, error);
    path_ = CurrentFolder();
    if (start == Start::Listed) {
        Refresh();
    }
}

QByteArray FileListBox::List(int i) const {
    return shown_.Name(i);
}

bool FileListBox::Selected(int i) const {
    const QModelIndex entry = shown_.index(i);
    return entry.isValid() && selectionModel()->isSelected(entry);
}

void FileListBox::SetSelected(int i, bool selected) {
    const QModelIndex entry = shown_.index(i);
    if (entry.isValid()) {
        selectionModel()->select(
            entry, selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
    }
}

void FileListBox::SelectEntries(const QList<int>& indices) {
    QList<int> rows;
    rows.reserve(indices.size());
    for (const int i : indices) {
        if (i >= 0 && i < ListCount()) {
            rows.append(i);
        }
    }
    std::sort(rows.begin(), rows.end());
    QItemSelection selection;
    for (qsizetype first = 0; first < rows.size();) {
        qsizetype last = first;
        while (last + 1 < rows.size() && rows[last + 1] <= rows[last] + 1) {
            ++last;
        }
        selection.select(shown_.index(rows[first]), shown_.index(rows[last]));
        first = last + 1;
    }
    if (!selection.isEmpty()) {
        selectionModel()->select(selection, QItemSelectionModel::Select);
    }
}

void FileListBox::SetListIndex(int i) {
    if (isHidden()) {
        pendingIndex_ = i;
        return;
    }
    pendingIndex_.reset();
    PlaceListIndex(i);
}

void FileListBox::PlaceListIndex(int i) {
    // setCurrentRow would select the entry in extended mode; the selection must stay as it is.
    const QModelIndex entry = shown_.index(i);
    selectionModel()->setCurrentIndex(entry, QItemSelectionModel::NoUpdate);
    // Setting the mark scrolls only when it moves; it must show even when it stays put.
    if (entry.isValid()) {
        scrollTo(entry);
    }
}

void FileListBox::scrollTo(const QModelIndex& index, ScrollHint hint) {
    // An entry whose batch is not laid out yet has no place to scroll to: the rest is laid
    // out first.
    if (index.isValid() && visualRect(index).isEmpty()) {
        LayOutAll();
    }
    QListView::scrollTo(index, hint);
}

void FileListBox::LayOutAll() {
    setLayoutMode(QListView::SinglePass);
    doItemsLayout();
    setLayoutMode(QListView::Batched);
}

void FileListBox::focusInEvent(QFocusEvent* event) {
    QListView::focusInEvent(event);
    if (currentIndex().isValid()) {
        scrollTo(currentIndex());
    }
}

void FileListBox::keyPressEvent(QKeyEvent* event) {
    const QModelIndex before = currentIndex();
    QListView::keyPressEvent(event);
    switch (event->key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            break;
        default:
            return;
    }
    if (!before.isValid() || currentIndex() != before ||
        (event->modifiers() & Qt::ControlModifier)) {
        return;
    }
    selectionModel()->select(before, (event->modifiers() & Qt::ShiftModifier)
                                         ? QItemSelectionModel::Select
                                         : QItemSelectionModel::ClearAndSelect);
}

void FileListBox::showEvent(QShowEvent* event) {
    if (pendingIndex_) {
        PlaceListIndex(*pendingIndex_);
        pendingIndex_.reset();
    }
    QListView::showEvent(event);
}

void FileListBox::Refresh() {
    QString error;
    QList<QByteArray> names;
    listed_ = Read(Held(error), names, error);
    if (listed_) {
        Watch();
    }
    Show(pattern_, std::move(names));
}

void FileListBox::HoldChanges(bool hold) {
    changesHeld_ = hold;
    if (!hold && changePending_) {
        Follow();
    }
}

bool FileListBox::SetPath(const QByteArray& folder, QString& error,
                          std::optional<FolderListing> listed) {
    std::shared_ptr<const HeldFolder> opened = HeldFolder::Open(folder, error);
    const bool given = opened && listed && listed->IsOf(opened->fd());
    QList<QByteArray> names;
    if (!given && !Read(opened, names, error)) {
        return false;
    }
    path_ = folder;
    held_ = std::move(opened);
    listed_ = true;
    if (given) {
        // The names given are sorted while the watch is set: a watch visits every name the
        // system holds of the folder (bench row K, names painted at 1,000,000 files). When no
        // thread can be started the names are sorted after.
        std::future<void> sorting = std::async(std::launch::async | std::launch::deferred,
                                               [&names, &listed] { names = listed->files(); });
        Watch();
        sorting.get();
    } else {
        Watch();
    }
    Show(pattern_, std::move(names));
    return true;
}

bool FileListBox::TakePattern(const QString& text, QString& error) {
    const std::optional<FilePattern> filter = FilePattern::Parse(text, error);
    if (!filter) {
        return false;
    }
    pattern_ = *filter;
    patternText_ = text;
    return true;
}

bool FileListBox::SetPattern(const QString& text, QString& error) {
    if (!TakePattern(text, error)) {
        return false;
    }
    if (listed_) {
        Show(pattern_, shown_.All());
        return true;
    }
    QList<QByteArray> names;
    if (!Read(Held(error), names, error)) {
        return false;
    }
    listed_ = true;
    Watch();
    Show(pattern_, std::move(names));
    return true;
}

const std::shared_ptr<const HeldFolder>& FileListBox::Held(QString& error) {
    if (!held_) {
        held_ = HeldFolder::Open(path_, error);
    }
    return held_;
}

bool FileListBox::Read(const std::shared_ptr<const HeldFolder>& folder, QList<QByteArray>& names,
                       QString& error) {
    FolderListing listing;
    if (!folder || !listing.Read(*folder, error)) {
        names.clear();
        return false;
    }
    names = listing.files();
    return true;
}

void FileListBox::Show(const FilePattern& filter, QList<QByteArray> names) {
    QList<int> picked = std::move(spare_);
    picked.clear();
    picked.reserve(names.size());
    // Read without a copy: the names are shared with the list shown (bench rows K, names painted
    // and one key at 1,000,000 files).
    for (int i = 0; i < int(names.size()); ++i) {
        if (filter.Matches(names.at(i))) {
            picked.append(i);
        }
    }
    pendingIndex_.reset();
    // The list stays scrolled where it was; a place past the first batch needs the rows up to
    // it laid out.
    const int scrolled = verticalScrollBar()->value();
    spare_ = shown_.Show(std::move(names), std::move(picked));
    if (scrolled > 0) {
        LayOutAll();
        verticalScrollBar()->setValue(scrolled);
    }
}

void FileListBox::Watch() {
    const QStringList watched = watcher_.directories();
    const QString path = QString::fromLocal8Bit(path_);
    if (watched.size() == 1 && watched.first() == path) {
        return;
    }
    if (!watched.isEmpty()) {
        watcher_.removePaths(watched);
    }
    watcher_.addPath(path);
}

void FileListBox::Follow() {
    if (changesHeld_) {
        changePending_ = true;
        return;
    }
    changePending_ = false;
    struct stat st {};
    if (::stat(path_.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        const QString description = QString::fromLocal8Bit(std::strerror(errno));
        Show(pattern_, {});
        emit FolderGone(description);
        return;
    }
    QList<QByteArray> selected;
    for (const QModelIndex& entry : selectionModel()->selectedIndexes()) {
        selected.append(List(entry.row()));
    }
    const QByteArray current = List(currentIndex().row());
    QString error;
    QList<QByteArray> names;
    listed_ = Read(Held(error), names, error);
    Show(pattern_, std::move(names));
    // An inotify watch ends with the folder it watched, even when one of the same name follows.
    watcher_.removePaths(watcher_.directories());
    Watch();
    // The entries are in FileName's order: each name is found by halving.
    auto indexOf = [this](const QByteArray& name) {
        int low = 0;
        int high = ListCount();
        while (low < high) {
            const int middle = low + (high - low) / 2;
            if (FileName::Less(List(middle), name)) {
                low = middle + 1;
            } else {
                high = middle;
            }
        }
        return low < ListCount() && List(low) == name ? low : -1;
    };
    QList<int> indices;
    for (const QByteArray& name : std::as_const(selected)) {
        indices.append(indexOf(name));
    }
    SelectEntries(indices);
    if (!current.isNull() && indexOf(current) >= 0) {
        PlaceListIndex(indexOf(current));
    }
    emit FolderChanged();
}
