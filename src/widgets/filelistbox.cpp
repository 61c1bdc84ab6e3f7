#include "filelistbox.h"

#include "currentfolder.h"
#include "folderlisting.h"

#include <QFile>
#include <QFocusEvent>
#include <QItemSelection>
#include <QKeyEvent>

#include <algorithm>

FileListBox::FileListBox(QWidget* parent, Start start) : QListView(parent) {
    setModel(&shown_);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    QString error;
    pattern_ = *FilePattern::Parse(patternText_, error);
    path_ = CurrentFolder();
    if (start == Start::Listed) {
        Fill(Held(error), pattern_, error);
    }
}

QByteArray FileListBox::List(int i) const {
    return names_.value(i);
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
    if (!Fill(Held(error), pattern_, error)) {
        names_.clear();
        pendingIndex_.reset();
        shown_.setStringList({});
    }
}

bool FileListBox::SetPath(const QByteArray& folder, QString& error) {
    std::shared_ptr<const HeldFolder> opened = HeldFolder::Open(folder, error);
    if (!Fill(opened, pattern_, error)) {
        return false;
    }
    path_ = folder;
    held_ = std::move(opened);
    return true;
}

bool FileListBox::SetPattern(const QString& text, QString& error) {
    const std::optional<FilePattern> filter = FilePattern::Parse(text, error);
    if (!filter) {
        return false;
    }
    if (!Fill(Held(error), *filter, error)) {
        return false;
    }
    pattern_ = *filter;
    patternText_ = text;
    return true;
}

const std::shared_ptr<const HeldFolder>& FileListBox::Held(QString& error) {
    if (!held_) {
        held_ = HeldFolder::Open(path_, error);
    }
    return held_;
}

bool FileListBox::Fill(const std::shared_ptr<const HeldFolder>& folder, const FilePattern& filter,
                       QString& error) {
    FolderListing listing;
    if (!folder || !listing.Read(*folder, error)) {
        return false;
    }
    names_ = listing.FilesMatching(filter);
    pendingIndex_.reset();
    QStringList shown;
    shown.reserve(names_.size());
    for (const QByteArray& name : std::as_const(names_)) {
        shown.append(QFile::decodeName(name));
    }
    shown_.setStringList(shown);  // one model reset, no object per entry
    return true;
}
