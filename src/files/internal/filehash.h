// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "contenthash.h"

#include <QtGlobal>

// The hash of the whole content of the open file fd, read from its start; false when it could
// not be read. size is the file's size as last seen, which sets how it is read.
bool HashOfFile(int fd, qint64 size, ContentHash& hash);
