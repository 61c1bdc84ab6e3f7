// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "fd.h"
#include "heldfolder.h"

#include <sys/types.h>

#include <memory>

// A folder a run reads or saves in: open for the steps of its reads and saves and for the
// sync at FinishSaves.
struct StoreFolder {
    std::shared_ptr<const HeldFolder> held;  // the folder held, or null: own is open instead
    Fd own;
    bool renameForbidden = false;  // the folder is append-only or immutable
    uid_t newFileOwner = 0;        // the owner a file made here gets
    gid_t newFileGroup = 0;        // and its group
    bool savedInto = false;        // a save has made a file here: FinishSaves syncs the folder

    int fd() const { return held ? held->fd() : own.get(); }
};
