// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Where the drive list gets its drives from: on this platform a drive is the mount point of a
// real file system.
class DriveSource {
public:
    virtual ~DriveSource() = default;

    // The drives as full paths without a trailing separator ("/" itself excepted), "/" first,
    // each once.
    virtual QList<QByteArray> Drives() const = 0;
    // Whether drive (one of Drives()) can be read now. When it cannot (unmounted or not
    // ready since it was listed) returns false with a description in reason.
    virtual bool Ready(const QByteArray& drive, QString& reason) const = 0;

    // The drive among drives that holds folder: the longest mount point that is folder or one
    // of its ancestors; "/" when none is, or drives is empty.
    static QByteArray DriveHolding(const QList<QByteArray>& drives, const QByteArray& folder) {
        QByteArray best = "/";
        for (const QByteArray& drive : drives) {
            const bool holds = drive == "/" || folder == drive ||
                               (folder.startsWith(drive) && folder.at(drive.size()) == '/');
            if (holds && drive.size() > best.size()) {
                best = drive;
            }
        }
        return best;
    }
};
