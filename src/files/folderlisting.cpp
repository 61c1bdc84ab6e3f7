// SPDX-License-Identifier: GPL-3.0-or-later
#include "folderlisting.h"

#include "filename.h"
#include "filepattern.h"
#include "heldfolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <future>
#include <vector>

namespace {

// A sort of this many names or more is shared between two threads.
constexpr std::size_t kTwoThreadsFrom = std::size_t(1) << 15;

}  // namespace

QList<QByteArray> FolderListing::SortNames(const Unsorted& unsorted,
                                           const std::vector<std::size_t>* picked) {
    // Most comparisons are settled by the first eight bytes folded into one number, with no
    // visit to the names (bench row K, names painted at 1,000,000 files).
    // A name is found from its entry alone, with no visit to the block's starts, which the sort
    // would read in no order (bench row K, names painted at 1,000,000 files).
    struct Keyed {
        quint64 key;        // the first bytes, ASCII folded, big-endian; zeros after the end
        std::size_t start;  // where the name lies in the block
        quint16 size;       // a name is at most NAME_MAX bytes
        quint8 sure;        // how many leading bytes of key are the name's own folded units
    };
    const char* const bytes = unsorted.bytes.data();
    const auto nameOf = [bytes](const Keyed& entry) {
        return QByteArrayView(bytes + entry.start, entry.size);
    };
    std::vector<Keyed> keyed(picked ? picked->size() : unsorted.size());
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        const std::size_t index = picked ? (*picked)[i] : i;
        const QByteArrayView name = unsorted[index];
        quint64 key = 0;
        qsizetype sure = 0;
        for (; sure < 8 && sure < name.size(); ++sure) {
            const auto c = uchar(name[sure]);
            if (c >= 0x80) {
                break;  // a unit beyond ASCII may fold to anything
            }
            key |= quint64((c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c) << (56 - 8 * sure);
        }
        // A name that ends within the key has its end there too: zeros come before any byte.
        if (sure == name.size()) {
            sure = 8;
        }
        keyed[i] = {key, unsorted.starts[index], quint16(name.size()), quint8(sure)};
    }
    const auto less = [&nameOf](const Keyed& a, const Keyed& b) {
        if (a.key != b.key) {
            const int differing = std::countl_zero(a.key ^ b.key) / 8;
            if (differing < a.sure && differing < b.sure) {
                return a.key < b.key;
            }
        }
        return FileName::Less(nameOf(a), nameOf(b));
    };
    // Each name is copied out of the block in its new order, so that the names lie in memory in
    // the order every later pass reads them (bench row K, one key in the filter at 1,000,000
    // files, where the filter otherwise waits on memory for nearly every name).
    QList<QByteArray> sorted(qsizetype(keyed.size()));
    QByteArray* const copies = sorted.data();
    const auto copy = [&](std::size_t from, std::size_t to) {
        // The names are read in an order unlike the one they lie in: each is asked for a few
        // copies ahead, so that the waits for memory overlap (bench row K, names painted).
        constexpr std::size_t kAhead = 16;
        for (std::size_t i = from; i < to; ++i) {
            if (i + kAhead < to) {
                __builtin_prefetch(bytes + keyed[i + kAhead].start);
            }
            const QByteArrayView name = nameOf(keyed[i]);
            copies[i] = QByteArray(name.data(), name.size());
        }
    };
    const std::size_t half = keyed.size() / 2;
    if (keyed.size() < kTwoThreadsFrom) {
        std::sort(keyed.begin(), keyed.end(), less);
        copy(0, keyed.size());
    } else {
        // Each half on a thread of its own, the sort as the copy (bench row K, names painted
        // at 1,000,000 files). When no thread can be started the back half is done here. The
        // names are parted at the middle one first, so that the sorted halves need no merge,
        // which would ask for memory as large as a half.
        const auto middle = keyed.begin() + std::ptrdiff_t(half);
        std::nth_element(keyed.begin(), middle, keyed.end(), less);
        std::future<void> back = std::async(std::launch::async | std::launch::deferred,
                                            [&] { std::sort(middle, keyed.end(), less); });
        std::sort(keyed.begin(), middle, less);
        back.get();
        back = std::async(std::launch::async | std::launch::deferred,
                          [&] { copy(half, keyed.size()); });
        copy(0, half);
        back.get();
    }
    return sorted;
}

const QList<QByteArray>& FolderListing::Sorted(QList<QByteArray>& names, Unsorted& unsorted) {
    if (unsorted.size() > 0) {
        names = SortNames(unsorted, nullptr);
        unsorted = {};
    }
    return names;
}

bool FolderListing::Read(const QByteArray& folder, QString& error, Keep keep) {
    return Read(::opendir(folder.constData()), error, keep);
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

bool FolderListing::IsOf(int fd) const {
    struct stat st {};
    return (device_ != 0 || inode_ != 0) && ::fstat(fd, &st) == 0 && st.st_dev == device_ &&
           st.st_ino == inode_;
}

bool FolderListing::Read(DIR* dir, QString& error, Keep keep) {
    files_.clear();
    folders_.clear();
    unsortedFiles_ = {};
    unsortedFolders_ = {};
    device_ = 0;
    inode_ = 0;
    if (!dir) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    const int dirFd = ::dirfd(dir);
    struct stat folder {};
    const bool known = ::fstat(dirFd, &folder) == 0;
    // Room for the names at once, guessed from the folder's size: a block that grows name by
    // name copies itself again and again (bench row K, names painted at 1,000,000 files). A
    // folder's size is about 20 bytes a name on ext4 and tmpfs and more on most others; the
    // guess asks for address space, and memory only as names come.
    if (known && keep == Keep::FilesAndFolders) {
        constexpr qint64 kBytesPerName = 16;
        constexpr qint64 kMostReserved = qint64(1) << 22;
        const auto names =
            std::size_t(std::min(qint64(folder.st_size) / kBytesPerName, kMostReserved));
        unsortedFiles_.starts.reserve(names);
        unsortedFiles_.bytes.reserve(names * kBytesPerName);
    }
    int readError = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            readError = errno;
            break;
        }
        const char* name = entry->d_name;
        if (name[0] == '.' &&
            (!showHidden_ || name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) {
            continue;
        }
        unsigned char type = entry->d_type;
        // The folder list of a folder of many files keeps no name of a file (bench row K,
        // names painted at 1,000,000 files).
        if (type == DT_REG && keep == Keep::FoldersOnly) {
            continue;
        }
        if (type == DT_LNK || type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(dirFd, entry->d_name, &st, 0) != 0) {
                continue;  // a dangling link or a name that went away while reading
            }
            type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == DT_REG && keep == Keep::FilesAndFolders) {
            unsortedFiles_.Append(name);
        } else if (type == DT_DIR) {
            unsortedFolders_.Append(name);
        }
    }
    ::closedir(dir);
    if (readError != 0) {
        unsortedFiles_ = {};
        unsortedFolders_ = {};
        error = QString::fromLocal8Bit(std::strerror(readError));
        return false;
    }
    if (known) {
        device_ = folder.st_dev;
        inode_ = folder.st_ino;
    }
    return true;
}

QList<QByteArray> FolderListing::FilesMatching(const FilePattern& filter) const {
    // Filtered first, so that only the names that pass are sorted (the command line on corpus
    // M of the bench, 1,000,000 files, a filter that passes none: 3.5-5.7 s to 0.6-1.1 s).
    if (unsortedFiles_.size() == 0) {
        QList<QByteArray> matching;
        for (const QByteArray& name : std::as_const(files_)) {
            if (filter.Matches(name)) {
                matching.append(name);
            }
        }
        return matching;
    }
    std::vector<std::size_t> picked;
    for (std::size_t i = 0; i < unsortedFiles_.size(); ++i) {
        if (filter.Matches(unsortedFiles_[i])) {
            picked.push_back(i);
        }
    }
    return SortNames(unsortedFiles_, &picked);
}
