// SPDX-License-Identifier: GPL-3.0-or-later
#include "storagedrivesource.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

bool StorageDriveSource::IsRealFileSystem(const QByteArray& type) {
    static const QList<QByteArray> kVirtual = {
        "autofs",      "binfmt_misc", "bpf",      "cgroup",   "cgroup2", "configfs",
        "debugfs",     "devpts",      "devtmpfs", "efivarfs", "fusectl", "hugetlbfs",
        "mqueue",      "nsfs",        "proc",     "pstore",   "ramfs",   "rpc_pipefs",
        "securityfs",  "selinuxfs",   "sysfs",    "tmpfs",    "tracefs", "fuse.gvfsd-fuse",
        "fuse.portal", "rootfs"};
    return !type.isEmpty() && !kVirtual.contains(type);
}

QList<QByteArray> StorageDriveSource::RealDrives(const QList<Mount>& mounts) {
    QList<QByteArray> drives;
    for (const Mount& mount : mounts) {
        QByteArray path = mount.path;
        while (path.size() > 1 && path.endsWith('/')) {
            path.chop(1);
        }
        if (path.startsWith('/') && path != "/" && IsRealFileSystem(mount.type) &&
            !drives.contains(path)) {
            drives.append(path);
        }
    }
    std::sort(drives.begin(), drives.end());
    drives.prepend("/");
    return drives;
}

QList<QByteArray> StorageDriveSource::Drives() const {
    QList<Mount> mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        // Containers bind single files such as /etc/hosts; a drive is a folder.
        if (volume.isValid() && volume.isReady() && QFileInfo(volume.rootPath()).isDir()) {
            mounts.append({QFile::encodeName(volume.rootPath()), volume.fileSystemType()});
        }
    }
    return RealDrives(mounts);
}

bool StorageDriveSource::Ready(const QByteArray& drive, QString& reason) const {
    if (Drives().contains(drive)) {
        return true;
    }
    reason = QCoreApplication::translate("StorageDriveSource",
                                         "The drive %1 is not mounted or not ready.")
                 .arg(QFile::decodeName(drive));
    return false;
}
