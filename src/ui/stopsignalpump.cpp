// SPDX-License-Identifier: GPL-3.0-or-later
#include "stopsignalpump.h"

#include "stopsignals.h"

void StopSignalPump::DoEvents() {
    if (StopSignals::Requested()) {
        stop_ = true;
    }
}
