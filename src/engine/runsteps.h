// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filestore.h"

class RunLoop;

// What one kind of run does with each of its entries: the replace or find of a list entry, or
// the undo of one altered file. The loop around it is RunLoop's.
class RunSteps {
public:
    virtual ~RunSteps() = default;
    // The number of entries now.
    virtual int Count() const = 0;
    // Works on entry i when it qualifies, telling loop what became of its file (InHand first,
    // then Found, Left or Saving); returns false, having done nothing, when it does not.
    virtual bool Step(int i, RunLoop& loop) = 0;
    // A save that a step left pending has ended Saved, with report.
    virtual void Saved(SaveTicket ticket, const SaveReport& report) {
        Q_UNUSED(ticket);
        Q_UNUSED(report);
    }
};
