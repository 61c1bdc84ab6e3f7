// SPDX-License-Identifier: GPL-3.0-or-later
#include "extendedattributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Lists extended attribute names through list(buffer, size), as listxattr does, into names:
// one call when they fit a first guess. Returns the length used, or -1.
template <typename Lister>
ssize_t ListAttributeNames(Lister list, std::vector<char>& names) {
    names.assign(1024, '\0');
    ssize_t got = list(names.data(), names.size());
    while (got < 0 && errno == ERANGE) {
        const ssize_t needed = list(nullptr, 0);
        if (needed < 0) {
            return -1;
        }
        names.assign(std::size_t(needed) + 1, '\0');
        got = list(names.data(), names.size());
    }
    return got;
}

}  // namespace

bool CopyExtendedAttributes(int source, int fd, bool& changed) {
    std::vector<char> names;
    const ssize_t got = ListAttributeNames(
        [&](char* buffer, std::size_t size) { return ::flistxattr(source, buffer, size); }, names);
    if (got < 0) {
        return errno == ENOTSUP;
    }
    for (const char* name = names.data(); name < names.data() + got;
         name += std::strlen(name) + 1) {
        const ssize_t valueSize = ::fgetxattr(source, name, nullptr, 0);
        if (valueSize < 0) {
            return false;
        }
        std::vector<char> value(static_cast<std::size_t>(valueSize));
        const ssize_t valueGot = ::fgetxattr(source, name, value.data(), value.size());
        if (valueGot < 0) {
            return false;
        }
        value.resize(std::size_t(valueGot));
        if (::fsetxattr(fd, name, value.data(), value.size(), 0) == 0) {
            changed = true;
            continue;
        }
        std::vector<char> present(value.size() + 1);
        const ssize_t presentSize = ::fgetxattr(fd, name, present.data(), present.size());
        if (presentSize != valueGot || std::memcmp(present.data(), value.data(), value.size())) {
            return false;
        }
    }
    // The temporary file may carry attributes the source lacks, above all an ACL inherited
    // from the folder's default ACL, which would change who may use the file: remove them.
    const auto inSource = [&](const char* wanted) {
        for (const char* name = names.data(); name < names.data() + got;
             name += std::strlen(name) + 1) {
            if (std::strcmp(name, wanted) == 0) {
                return true;
            }
        }
        return false;
    };
    std::vector<char> own;
    const ssize_t ownGot = ListAttributeNames(
        [&](char* buffer, std::size_t size) { return ::flistxattr(fd, buffer, size); }, own);
    if (ownGot < 0) {
        return false;
    }
    for (const char* name = own.data(); name < own.data() + ownGot; name += std::strlen(name) + 1) {
        if (!inSource(name)) {
            if (::fremovexattr(fd, name) != 0) {
                return false;
            }
            changed = true;
        }
    }
    return true;
}
