// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filestore.h"

// Writes content to the open file fd from where it stands, in few system calls; false when a
// write failed.
bool WriteContent(int fd, const NewContent& content);
