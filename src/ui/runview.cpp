// SPDX-License-Identifier: GPL-3.0-or-later
#include "runview.h"

#include "eventpump.h"
#include "filelistbox.h"
#include "progressbar.h"

void RunView::RunBegins(int entries) {
    Q_UNUSED(entries);
    list_.setVisible(false);
    pump_.DoEvents();
}

bool RunView::Reached(int entry) {
    if (closing_) {
        return false;
    }
    if (kind_ == Kind::ListRun) {
        list_.SetListIndex(entry);
    }
    return true;
}

void RunView::Processed(int entry, int entries) {
    pump_.DoEvents();
    const qint32 position = entry;
    const qint32 maximum = entries - 1;
    DrawProgressBar(&progress_, position, maximum);
    pump_.DoEvents();
}

void RunView::RunEnded() {
    if (kind_ == Kind::Undo) {
        list_.Refresh();
    }
    list_.setVisible(true);
}
