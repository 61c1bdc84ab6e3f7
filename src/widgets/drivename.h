// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

#include <utility>

// A drive as the drive list names it: the mount point of a file system. On this platform a
// drive and a folder are both paths, so a drive has a type of its own: given a drive, the
// folder list shows the drive's current folder; given a folder path, that folder itself.
class DriveName {
public:
    // mountPoint: a full path without a trailing separator ("/" itself excepted).
    explicit DriveName(QByteArray mountPoint = "/") : mountPoint_(std::move(mountPoint)) {}

    // Where the drive is mounted.
    const QByteArray& MountPoint() const { return mountPoint_; }

    friend bool operator==(const DriveName&, const DriveName&) = default;

private:
    QByteArray mountPoint_;
};
