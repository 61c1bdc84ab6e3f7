// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runobserver.h"

class EventPump;
class FileListBox;
class PictureBox;

// The window's watch over a run: the file list gives way to the progress box while the run
// works, the list's current-entry mark follows the entries a replace or find reaches, the bar
// is painted after each processed file, and the window's events are let through once before
// the first file and on either side of each repaint. Closing the window ends the run after
// the file in hand.
class RunView : public RunObserver {
public:
    enum class Kind {
        ListRun,  // a replace or find over the list's entries: the mark follows them
        Undo      // the undo of a replace: the list is read again before it shows
    };
    // The references must outlive the view; closing is read before each entry.
    RunView(Kind kind, FileListBox& list, PictureBox& progress, EventPump& pump,
            const bool& closing)
        : kind_(kind), list_(list), progress_(progress), pump_(pump), closing_(closing) {}

    void RunBegins(int entries) override;
    bool Reached(int entry) override;
    void Processed(int entry, int entries) override;
    void RunEnded() override;

private:
    Kind kind_;
    FileListBox& list_;
    PictureBox& progress_;
    EventPump& pump_;
    const bool& closing_;
};
