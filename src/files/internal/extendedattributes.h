// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Gives the open file fd exactly the extended attributes (user.*, ACLs, security.*) of the open
// file source: an attribute that cannot be set fails the copy unless fd already carries the same
// value; one that fd has and source lacks is removed. True when fd ends with source's set;
// changed is set when an attribute was set or removed, which may have changed fd's mode bits.
bool CopyExtendedAttributes(int source, int fd, bool& changed);
