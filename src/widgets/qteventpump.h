// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eventpump.h"

#include <QElapsedTimer>

// Dispatches the application's pending events through Qt's event loop, at most once in each
// short interval: a run that yields after every small file would otherwise spend more time
// asking the display server for events than working.
class QtEventPump : public EventPump {
public:
    // Events wait at most this long for a run's next yield to dispatch them.
    static constexpr qint64 kIntervalMs = 4;

    // Dispatches the pending events unless it did so less than kIntervalMs ago.
    void DoEvents() override;

private:
    QElapsedTimer sinceDispatch_;
};
