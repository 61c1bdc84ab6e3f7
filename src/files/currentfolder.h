#pragma once

#include <QByteArray>

// The process's current folder as raw bytes; "/" when it cannot be had.
QByteArray CurrentFolder();
