// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "drivesource.h"

#include <QHash>
#include <QString>

// A drive source that names the drives a test gives it; a drive can be made not ready.
class FixedDriveSource : public DriveSource {
public:
    explicit FixedDriveSource(QList<QByteArray> drives = {"/"}) : drives_(std::move(drives)) {}
    QList<QByteArray> Drives() const override { return drives_; }
    void SetDrives(QList<QByteArray> drives) { drives_ = std::move(drives); }

    bool Ready(const QByteArray& drive, QString& reason) const override {
        const auto it = notReady.constFind(drive);
        if (it == notReady.cend()) {
            return true;
        }
        reason = *it;
        return false;
    }

    // Drives that are not ready, each with the description Ready gives.
    QHash<QByteArray, QString> notReady;

private:
    QList<QByteArray> drives_;
};
