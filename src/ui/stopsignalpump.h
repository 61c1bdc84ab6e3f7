// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eventpump.h"

// The event pump of a run without a window: there are no events to dispatch; it turns a stop
// signal (see StopSignals) into the run's stop flag, which the run reads before each file.
class StopSignalPump : public EventPump {
public:
    // stop must outlive the pump.
    explicit StopSignalPump(bool& stop) : stop_(stop) {}

    // Sets the stop flag once a stop signal has arrived.
    void DoEvents() override;

private:
    bool& stop_;
};
