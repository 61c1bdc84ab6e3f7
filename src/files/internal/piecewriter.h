// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filestore.h"

// Writes content to the open file fd from where it stands, in few system calls; false when a
// write failed. expectedSize is about how large the content is: a large one is written on a
// thread of its own.
bool WriteContent(int fd, const NewContent& content, qint64 expectedSize);
