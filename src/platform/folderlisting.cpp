#include "folderlisting.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

bool FolderListing::NameLess(const QByteArray& a, const QByteArray& b) {
    const int folded = QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive);
    return folded != 0 ? folded < 0 : a < b;
}

bool FolderListing::Read(const QByteArray& folder, QString& error) {
    files_.clear();
    folders_.clear();
    DIR* dir = ::opendir(folder.constData());
    if (!dir) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int dirFd = ::dirfd(dir);
    int readError = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            readError = errno;
            break;
        }
        const QByteArray name(entry->d_name);
        if (name.startsWith('.')) {
            continue;
        }
        struct stat st {};
        if (::fstatat(dirFd, entry->d_name, &st, 0) != 0) {
            continue;  // a dangling link or a name that went away while reading
        }
        if (S_ISREG(st.st_mode)) {
            files_.append(name);
        } else if (S_ISDIR(st.st_mode)) {
            folders_.append(name);
        }
    }
    ::closedir(dir);
    if (readError != 0) {
        files_.clear();
        folders_.clear();
        error = QString::fromLocal8Bit(std::strerror(readError));
        return false;
    }
    std::sort(files_.begin(), files_.end(), NameLess);
    std::sort(folders_.begin(), folders_.end(), NameLess);
    return true;
}
