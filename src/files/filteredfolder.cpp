// SPDX-License-Identifier: GPL-3.0-or-later
#include "filteredfolder.h"

#include "folderlisting.h"

FilteredFolder::FilteredFolder(QByteArray folder, FilePattern filter, bool showHidden)
    : folder_(std::move(folder)), filter_(std::move(filter)), showHidden_(showHidden) {}

bool FilteredFolder::Read(QString& error) {
    if (!held_) {
        held_ = HeldFolder::Open(folder_, error);
    }
    FolderListing listing;
    listing.SetShowHidden(showHidden_);
    const bool read = held_ && listing.Read(*held_, error);
    names_ = listing.FilesMatching(filter_);
    selected_ = QList<bool>(names_.size(), false);
    return read;
}

void FilteredFolder::SetSelected(int i, bool selected) {
    if (i >= 0 && i < selected_.size()) {
        selected_[i] = selected;
    }
}

void FilteredFolder::Refresh() {
    QString error;
    Read(error);
}
