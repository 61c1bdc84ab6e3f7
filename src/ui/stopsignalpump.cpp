#include "stopsignalpump.h"

#include "stopsignals.h"

void StopSignalPump::DoEvents() {
    if (StopSignals::Requested()) {
        stop_ = true;
    }
}
