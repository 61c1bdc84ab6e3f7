// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// The character that separates the folders of a path on this platform.
inline constexpr char kFolderSeparator = '/';

// The path of name in folder: folder, a separator unless folder ends in one, then name.
// folder must not be empty.
inline QByteArray JoinPath(const QByteArray& folder, const QByteArray& name) {
    Q_ASSERT(!folder.isEmpty());
    return folder.endsWith(kFolderSeparator) ? folder + name : folder + kFolderSeparator + name;
}
