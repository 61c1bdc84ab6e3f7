// SPDX-License-Identifier: GPL-3.0-or-later
#include "heldfolder.h"

#include <fcntl.h>

#include <cerrno>
#include <cstring>

std::shared_ptr<const HeldFolder> HeldFolder::Open(const QByteArray& path, QString& error) {
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    return std::shared_ptr<const HeldFolder>(new HeldFolder(path, fd));
}

QByteArray HeldFolder::NameOf(const QByteArray& path) const {
    const qsizetype prefix = path_.size() + (path_.endsWith('/') ? 0 : 1);
    if (path.size() <= prefix || !path.startsWith(path_) || path[prefix - 1] != '/' ||
        path.indexOf('/', prefix) >= 0) {
        return QByteArray();
    }
    return path.mid(prefix);
}
