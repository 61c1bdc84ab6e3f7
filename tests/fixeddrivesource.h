#pragma once

#include "drivesource.h"

// A drive source that names the drives a test gives it.
class FixedDriveSource : public DriveSource {
public:
    explicit FixedDriveSource(QList<QByteArray> drives = {"/"}) : drives_(std::move(drives)) {}
    QList<QByteArray> Drives() const override { return drives_; }
    void SetDrives(QList<QByteArray> drives) { drives_ = std::move(drives); }

private:
    QList<QByteArray> drives_;
};
