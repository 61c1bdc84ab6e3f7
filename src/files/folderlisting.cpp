#include "folderlisting.h"

#include "filepattern.h"
#include "heldfolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

void FolderListing::SortNames(QList<QByteArray>& names) {
    // Each name is folded once, not once per comparison.
    struct Keyed {
        QString key;
        QByteArray name;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(std::size_t(names.size()));
    for (QByteArray& name : names) {
        keyed.push_back({QString::fromUtf8(name).toCaseFolded(), std::move(name)});
    }
    std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        const int folded = a.key.compare(b.key);
        return folded != 0 ? folded < 0 : a.name < b.name;
    });
    for (qsizetype i = 0; i < names.size(); ++i) {
        names[i] = std::move(keyed[std::size_t(i)].name);
    }
}

bool FolderListing::Read(const QByteArray& folder, QString& error) {
    return Read(::opendir(folder.constData()), error);
}

bool FolderListing::Read(const HeldFolder& folder, QString& error) {
    // A description of its own: the held one's position is not moved.
    const int fd = ::openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (fd >= 0 && !dir) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return Read(dir, error);
}

bool FolderListing::Read(DIR* dir, QString& error) {
    files_.clear();
    folders_.clear();
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
        if (name.startsWith('.') && (!showHidden_ || name == "." || name == "..")) {
            continue;
        }
        unsigned char type = entry->d_type;
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(dirFd, entry->d_name, &st, 0) != 0) {
                continue;  // a dangling link or a name that went away while reading
            }
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG) {
            files_.append(name);
        } else if (type == DT_DIR) {
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
    filesSorted_ = false;
    foldersSorted_ = false;
    return true;
}

QList<QByteArray> FolderListing::FilesMatching(const FilePattern& filter) const {
    QList<QByteArray> matching;
    for (const QByteArray& name : files()) {
        if (filter.Matches(name)) {
            matching.append(name);
        }
    }
    return matching;
}
