// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fd.h"

#include <QByteArray>
#include <QString>

#include <memory>

// A folder opened once, by the path the user chose, and reached through that descriptor from
// then on: the listing, every read, every save and every sweep of a run work in the folder that
// was opened, whatever its path leads to later (renamed away, or replaced by a symlink).
class HeldFolder {
public:
    // Opens path, following the symlinks in it as the user meant them. Null, with the
    // system's description in error, when it is no folder that can be opened.
    static std::shared_ptr<const HeldFolder> Open(const QByteArray& path, QString& error);

    // The path the folder was opened by, as given.
    const QByteArray& Path() const { return path_; }
    int fd() const { return fd_.get(); }
    // The bare name that path gives to an entry of this folder: path is the folder's path, a
    // "/" unless it ends in one, and a name without "/". Empty for any other path.
    QByteArray NameOf(const QByteArray& path) const;

private:
    HeldFolder(QByteArray path, int fd) : path_(std::move(path)), fd_(fd) {}

    QByteArray path_;
    Fd fd_;
};
