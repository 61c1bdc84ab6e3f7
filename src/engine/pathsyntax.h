#pragma once

// The character that separates the folders of a path on this platform.
inline constexpr char kFolderSeparator = '/';
