// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// The process's current folder as raw bytes; "/" when it cannot be had.
QByteArray CurrentFolder();
