// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lets the platform dispatch pending window events, then returns.
class EventPump {
public:
    virtual ~EventPump() = default;

    // Processes the events waiting now (repaints, clicks) and returns.
    virtual void DoEvents() = 0;
};
