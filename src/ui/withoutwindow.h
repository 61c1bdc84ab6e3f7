// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct CommandLine;

// Sets what every mode of the program needs first: the stop signals (see StopSignals), SIGXFSZ
// and SIGPIPE ignored, and the handler of a bus error in a mapped file.
void PrepareProcess();

// Runs request without a window, on the process's standard output and standard error, and
// returns the exit status. SIGTERM, SIGINT and SIGHUP stop the run.
int RunWithoutWindow(const CommandLine& request);
