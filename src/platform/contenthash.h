#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// A 128-bit hash of a file's content: a save compares the one of what it read with the one of
// what the file holds just before its rename, so that an edit the file's times do not show
// (coarse timestamps, times put back) is not overwritten.
struct ContentHash {
    quint64 low = 0;
    quint64 high = 0;
    friend bool operator==(const ContentHash&, const ContentHash&) = default;
};

// The hash of content.
ContentHash HashOf(QByteArrayView content);

// The hash of the whole content of the open file fd, read from its start; false when it could
// not be read. size is the file's size as last seen; a file that turns out longer or shorter
// hashes differently.
bool HashOfFile(int fd, qint64 size, ContentHash& hash);
