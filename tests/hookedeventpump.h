// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eventpump.h"

#include <QCoreApplication>

#include <functional>

// An event pump that dispatches pending events like the real one and then runs a hook, so
// that a test can look at the window, or act as the user, from inside a run.
class HookedEventPump : public EventPump {
public:
    // Called after every DoEvents with the 1-based number of the call.
    std::function<void(int)> hook;
    int count = 0;

    void DoEvents() override {
        QCoreApplication::processEvents();
        ++count;
        if (hook) {
            hook(count);
        }
    }
};
