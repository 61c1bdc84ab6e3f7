// SPDX-License-Identifier: GPL-3.0-or-later
#include "currentfolder.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

QByteArray CurrentFolder() {
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) {
            return "/";
        }
        buffer.resize(buffer.size() * 2);
    }
    return QByteArray(buffer.data());
}
