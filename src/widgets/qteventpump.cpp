// SPDX-License-Identifier: GPL-3.0-or-later
#include "qteventpump.h"

#include <QCoreApplication>

void QtEventPump::DoEvents() {
    // Bench row "A replace, case-sensitive", window under Xvfb: each dispatch costs about 3 µs
    // of the run's 10,000 files (A find, window under Xvfb: 0.266 s dispatching at every
    // yield, 0.201 s at most every 4 ms; medians of 7).
    if (sinceDispatch_.isValid() && !sinceDispatch_.hasExpired(kIntervalMs)) {
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceDispatch_.start();
}
