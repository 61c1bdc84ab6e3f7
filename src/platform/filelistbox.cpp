#include "filelistbox.h"

#include "currentfolder.h"
#include "folderlisting.h"

#include <QFile>

FileListBox::FileListBox(QWidget* parent, Start start) : QListWidget(parent) {
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    QString error;
    pattern_ = *FilePattern::Parse(patternText_, error);
    path_ = CurrentFolder();
    if (start == Start::Listed) {
        Fill(path_, pattern_, error);
    }
}

QByteArray FileListBox::List(int i) const {
    return names_.value(i);
}

bool FileListBox::Selected(int i) const {
    const QListWidgetItem* entry = item(i);
    return entry && entry->isSelected();
}

void FileListBox::SetSelected(int i, bool selected) {
    if (QListWidgetItem* entry = item(i)) {
        entry->setSelected(selected);
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
    selectionModel()->setCurrentIndex(model()->index(i, 0), QItemSelectionModel::NoUpdate);
}

void FileListBox::showEvent(QShowEvent* event) {
    if (pendingIndex_) {
        PlaceListIndex(*pendingIndex_);
        pendingIndex_.reset();
    }
    QListWidget::showEvent(event);
}

void FileListBox::Refresh() {
    QString error;
    if (!Fill(path_, pattern_, error)) {
        names_.clear();
        clear();
    }
}

bool FileListBox::SetPath(const QByteArray& folder, QString& error) {
    if (!Fill(folder, pattern_, error)) {
        return false;
    }
    path_ = folder;
    return true;
}

bool FileListBox::SetPattern(const QString& text, QString& error) {
    const std::optional<FilePattern> filter = FilePattern::Parse(text, error);
    if (!filter) {
        return false;
    }
    if (!Fill(path_, *filter, error)) {
        return false;
    }
    pattern_ = *filter;
    patternText_ = text;
    return true;
}

bool FileListBox::Fill(const QByteArray& folder, const FilePattern& filter, QString& error) {
    FolderListing listing;
    if (!listing.Read(folder, error)) {
        return false;
    }
    names_.clear();
    pendingIndex_.reset();
    QStringList shown;
    for (const QByteArray& name : listing.files()) {
        if (filter.Matches(name)) {
            names_.append(name);
            shown.append(QFile::decodeName(name));
        }
    }
    clear();
    addItems(shown);  // in one insertion: a folder of many files lists quickly
    return true;
}
