// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drivesource.h"

#include <QByteArray>
#include <QList>

// The drives of this machine: the mounted real file systems, as Qt's storage information
// lists them, without kernel and virtual file systems.
class StorageDriveSource : public DriveSource {
public:
    // One mounted file system: where it is mounted and its type as the kernel names it.
    struct Mount {
        QByteArray path;
        QByteArray type;
    };

    QList<QByteArray> Drives() const override;
    // Ready while it is still among Drives(): mounted, a real file system, and ready.
    bool Ready(const QByteArray& drive, QString& reason) const override;

    // The drives among mounts: real file systems only, "/" first (added when missing), the
    // rest sorted by path, each path once.
    static QList<QByteArray> RealDrives(const QList<Mount>& mounts);
    // Whether a file system of this type holds files a user keeps (not proc, sysfs and such).
    static bool IsRealFileSystem(const QByteArray& type);
};
