#pragma once

// Gives the open file fd exactly the extended attributes (user.*, ACLs, security.*) of the open
// file source: an attribute that cannot be set fails the copy unless fd already carries the same
// value; one that fd has and source lacks is removed. True when fd ends with source's set.
bool CopyExtendedAttributes(int source, int fd);
