// SPDX-License-Identifier: GPL-3.0-or-later
#include "dirlistbox.h"

#include "currentfolder.h"
#include "drivesource.h"
#include "folderlisting.h"

#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QStyle>

#include <utility>

namespace {

constexpr int kPathRole = Qt::UserRole;

QByteArray Join(const QByteArray& folder, const QByteArray& name) {
    return folder == "/" ? "/" + name : folder + '/' + name;
}

}  // namespace

DirListBox::DirListBox(DriveSource& drives, QWidget* parent)
    : QTreeWidget(parent), drives_(drives) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setUniformRowHeights(true);
    setIndentation(8);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item, int) { Open(item); });
    QString error;
    if (!SetPath(CurrentFolder(), error)) {
        SetPath("/", error);
    }
}

QByteArray DirListBox::CleanPath(const QByteArray& path) {
    if (!path.startsWith('/')) {
        return {};
    }
    QList<QByteArray> parts;
    for (const QByteArray& part : path.split('/')) {
        if (part.isEmpty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (!parts.isEmpty()) {
                parts.removeLast();
            }
            continue;
        }
        parts.append(part);
    }
    return "/" + parts.join('/');
}

bool DirListBox::SetPath(const QByteArray& folder, QString& error) {
    const QByteArray path = CleanPath(folder);
    if (path.isEmpty()) {
        error = tr("The folder \"%1\" is not a full path.").arg(QFile::decodeName(folder));
        return false;
    }
    // A move to another folder reads its files too: the file list shows them next (bench row
    // K, names painted at 1,000,000 files: the folder is read once, not twice).
    const bool moving = path != path_;
    FolderListing listing;
    if (!listing.Read(
            path, error,
            moving ? FolderListing::Keep::FilesAndFolders : FolderListing::Keep::FoldersOnly)) {
        return false;
    }

    // Listing the same folder again keeps the entry the user moved to, when it is still there.
    const QByteArray marked =
        path == path_ && currentItem() ? currentItem()->data(0, kPathRole).toByteArray() : "";
    clear();
    const QList<QByteArray> drives = drives_.Drives();
    const QByteArray drive = DriveSource::DriveHolding(drives, path);
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    auto* chainItem = new QTreeWidgetItem(this, {QFile::decodeName(drive)});
    chainItem->setData(0, kPathRole, drive);
    chainItem->setIcon(0, open);
    QByteArray chainPath = drive;
    const QByteArray rest = path.mid(drive == "/" ? 1 : drive.size() + 1);
    for (const QByteArray& part : rest.split('/')) {
        if (part.isEmpty()) {
            continue;
        }
        chainPath = Join(chainPath, part);
        auto* next = new QTreeWidgetItem(chainItem, {QFile::decodeName(part)});
        next->setData(0, kPathRole, chainPath);
        next->setIcon(0, open);
        chainItem = next;
    }
    for (const QByteArray& name : listing.folders()) {
        const QByteArray subPath = Join(path, name);
        if (drives.contains(subPath)) {
            continue;
        }
        auto* sub = new QTreeWidgetItem(chainItem, {QFile::decodeName(name)});
        sub->setData(0, kPathRole, subPath);
        sub->setIcon(0, closed);
    }
    expandAll();
    QTreeWidgetItem* current = chainItem;
    for (QTreeWidgetItemIterator it(this); *it && !marked.isEmpty(); ++it) {
        if ((*it)->data(0, kPathRole).toByteArray() == marked) {
            current = *it;
            break;
        }
    }
    setCurrentItem(current);
    scrollToItem(current);

    path_ = path;
    lastShown_.insert(drive, path);
    listing_.reset();
    if (moving) {
        listing_ = std::move(listing);
        emit Change();
    }
    return true;
}

std::optional<FolderListing> DirListBox::TakeListing() {
    return std::exchange(listing_, std::nullopt);
}

bool DirListBox::SetPath(const DriveName& drive, QString& error) {
    if (!drives_.Ready(drive.MountPoint(), error)) {
        return false;
    }
    return SetPath(CurrentFolderOf(drive.MountPoint()), error);
}

QByteArray DirListBox::CurrentFolderOf(const QByteArray& drive) const {
    const QByteArray current = CurrentFolder();
    const QByteArray candidates[] = {
        lastShown_.value(drive),
        DriveSource::DriveHolding(drives_.Drives(), current) == drive ? current : QByteArray()};
    for (const QByteArray& folder : candidates) {
        if (!folder.isEmpty() && QFileInfo(QFile::decodeName(folder)).isDir()) {
            return folder;
        }
    }
    return drive;
}

QList<QByteArray> DirListBox::EntryPaths() const {
    QList<QByteArray> paths;
    for (QTreeWidgetItemIterator it(const_cast<DirListBox*>(this)); *it; ++it) {
        paths.append((*it)->data(0, kPathRole).toByteArray());
    }
    return paths;
}

void DirListBox::Open(QTreeWidgetItem* item) {
    if (!item) {
        return;
    }
    QString error;
    if (!SetPath(item->data(0, kPathRole).toByteArray(), error)) {
        QString ignored;
        SetPath(path_, ignored);
        emit OpenFailed(error);
    }
}
