// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// A whole file seen read-only through mmap, without copying it and without taking fresh memory
// for it. Another program may shorten the file while it is mapped; a page that is gone then
// reads as zeros instead of raising the SIGBUS that would end the program, and Damaged()
// tells that it happened. Any thread may read a mapping while it lasts.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Installs, for the whole program, the SIGBUS handler that lets a mapping outlive a file
    // that shrinks; a program calls it once at its start, before any other thread runs. Later
    // calls do nothing. Returns whether the handler is in place.
    static bool InstallBusErrorHandler();

    // Maps size bytes of the open file fd; on false nothing is mapped and the caller reads the
    // file instead, as it does whenever InstallBusErrorHandler has not succeeded. Unmaps what
    // was mapped before. With whole, every page is read in before Map returns; otherwise pages
    // come from the disk as they are first reached.
    bool Map(int fd, qsizetype size, bool whole = true);
    // Unmaps the file; views of it must not be used any more.
    void Reset();
    QByteArrayView View() const { return {data_, size_}; }
    // Whether a page of the file was gone when read.
    bool Damaged() const;

private:
    const char* data_ = nullptr;
    qsizetype size_ = 0;
    int slot_ = -1;
};
