// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SIGTERM, SIGINT and SIGHUP, caught for the whole program: a run they arrive in ends after
// the file in hand, as closing the window ends it, instead of dying between two steps of a
// save. Without a run in progress the program ends as soon as it looks (the window watches
// ReadableOnStop; the command line checks Requested before each file).
namespace StopSignals {

// Installs the handlers; later calls do nothing. Interrupted system calls are restarted.
void Install();

// Whether a stop signal has arrived since Install. Safe from any thread.
bool Requested();

// A descriptor that turns readable when a stop signal arrives, for an event loop to watch;
// -1 before Install. Each signal adds a byte, which the watcher may read away.
int ReadableOnStop();

}  // namespace StopSignals
