#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// What one folder holds, read with POSIX calls so that names keep their raw bytes. Names
// starting with "." are hidden and left out; symbolic links count as what they lead to.
class FolderListing {
public:
    // Reads folder. On failure returns false with the system's description in error and
    // leaves files and folders empty.
    bool Read(const QByteArray& folder, QString& error);

    // The regular files, sorted with case ignored (ties by bytes).
    const QList<QByteArray>& files() const { return files_; }
    // The sub-folders, sorted the same way.
    const QList<QByteArray>& folders() const { return folders_; }

private:
    // Sorts names with case ignored, ties by bytes.
    static void SortNames(QList<QByteArray>& names);

    QList<QByteArray> files_;
    QList<QByteArray> folders_;
};
