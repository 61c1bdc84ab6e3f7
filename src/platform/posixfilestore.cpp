#include "posixfilestore.h"

#include "buffers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <vector>

namespace {

// Owns a file descriptor and closes it.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

qint64 Nanoseconds(const timespec& t) {
    return qint64(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileStamp StampOf(const struct stat& st) {
    FileStamp stamp;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mtimeNs = Nanoseconds(st.st_mtim);
    stamp.ctimeNs = Nanoseconds(st.st_ctim);
    return stamp;
}

bool SameStamp(const FileStamp& a, const FileStamp& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.mtimeNs == b.mtimeNs && a.ctimeNs == b.ctimeNs;
}

// Whether the file at path is still the one a read saw.
bool StillAsRead(const QByteArray& path, const FileStamp& readStamp) {
    struct stat now {};
    return ::stat(path.constData(), &now) == 0 && SameStamp(StampOf(now), readStamp);
}

// Writes pieces to a file through few system calls: small pieces are gathered in a buffer,
// large ones written from where they are. Once the file has grown by kWriteBehind bytes, its
// pages are sent to the disk while writing goes on, so that the sync at the end waits less.
class PieceWriter {
public:
    explicit PieceWriter(int fd) : fd_(fd) {}

    bool Add(QByteArrayView piece) {
        const std::size_t size = std::size_t(piece.size());
        if (size <= kSmallPiece) {
            if (!gathered_) {
                gathered_ = std::make_unique_for_overwrite<char[]>(kGatherSize);
            }
            if (gatheredSize_ + size > kGatherSize && !Flush()) {
                return false;
            }
            char* at = gathered_.get() + gatheredSize_;
            std::memcpy(at, piece.data(), size);
            gatheredSize_ += size;
            if (!pieces_.empty() &&
                static_cast<char*>(pieces_.back().iov_base) + pieces_.back().iov_len == at) {
                pieces_.back().iov_len += size;
            } else {
                pieces_.push_back({at, size});
            }
        } else {
            pieces_.push_back({const_cast<char*>(piece.data()), size});
        }
        pendingBytes_ += size;
        return (pieces_.size() < kMostPieces && pendingBytes_ < kFlushBytes) || Flush();
    }

    // Writes every piece added so far.
    bool Flush() {
        std::size_t first = 0;
        while (first < pieces_.size()) {
            const int count = int(std::min(pieces_.size() - first, kMostPieces));
            ssize_t written = ::writev(fd_, pieces_.data() + first, count);
            if (written < 0 && errno == EINTR) {
                continue;
            }
            if (written <= 0) {
                return false;
            }
            while (written > 0 && std::size_t(written) >= pieces_[first].iov_len) {
                written -= ssize_t(pieces_[first].iov_len);
                ++first;
            }
            if (written > 0) {
                pieces_[first].iov_base = static_cast<char*>(pieces_[first].iov_base) + written;
                pieces_[first].iov_len -= std::size_t(written);
            }
        }
        writtenBytes_ += qint64(pendingBytes_);
        pieces_.clear();
        gatheredSize_ = 0;
        pendingBytes_ = 0;
        if (writtenBytes_ - sentBytes_ >= kWriteBehind) {
            (void)::sync_file_range(fd_, sentBytes_, writtenBytes_ - sentBytes_,
                                    SYNC_FILE_RANGE_WRITE);
            sentBytes_ = writtenBytes_;
        }
        return true;
    }

private:
    static constexpr std::size_t kSmallPiece = 4096;
    static constexpr std::size_t kGatherSize = 256 * 1024;
    static constexpr std::size_t kMostPieces = IOV_MAX;
    static constexpr std::size_t kFlushBytes = 8 << 20;
    static constexpr qint64 kWriteBehind = 16 << 20;

    int fd_;
    std::vector<iovec> pieces_;
    std::unique_ptr<char[]> gathered_;
    std::size_t gatheredSize_ = 0;
    std::size_t pendingBytes_ = 0;
    qint64 writtenBytes_ = 0;
    qint64 sentBytes_ = 0;
};

bool WriteContent(int fd, const NewContent& content) {
    PieceWriter writer(fd);
    return content.WriteTo([&](QByteArrayView piece) { return writer.Add(piece); }) &&
           writer.Flush();
}

// The path of the file that path leads to, and its status: path itself unless it is a
// symlink, else the canonical path at the end of the chain.
bool ResolveTarget(const QByteArray& path, QByteArray& target, struct stat& st) {
    if (::lstat(path.constData(), &st) != 0) {
        return false;
    }
    if (!S_ISLNK(st.st_mode)) {
        target = path;
        return true;
    }
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved)) {
        return false;
    }
    target = resolved;
    return ::stat(target.constData(), &st) == 0;
}

// Lists extended attribute names through list(buffer, size), as listxattr does, into names:
// one call when they fit a first guess. Returns the length used, or -1.
template <typename Lister>
ssize_t ListAttributeNames(Lister list, std::vector<char>& names) {
    names.assign(1024, '\0');
    ssize_t got = list(names.data(), names.size());
    while (got < 0 && errno == ERANGE) {
        const ssize_t needed = list(nullptr, 0);
        if (needed < 0) {
            return -1;
        }
        names.assign(std::size_t(needed) + 1, '\0');
        got = list(names.data(), names.size());
    }
    return got;
}

// Gives fd exactly the extended attributes of source (user.*, ACLs, security.*). An attribute
// that cannot be set fails the copy unless fd already carries the same value; one that fd
// has and source lacks is removed.
bool CopyExtendedAttributes(const QByteArray& source, int fd) {
    std::vector<char> names;
    const ssize_t got = ListAttributeNames(
        [&](char* buffer, std::size_t size) {
            return ::listxattr(source.constData(), buffer, size);
        },
        names);
    if (got < 0) {
        return errno == ENOTSUP;
    }
    for (const char* name = names.data(); name < names.data() + got;
         name += std::strlen(name) + 1) {
        const ssize_t valueSize = ::getxattr(source.constData(), name, nullptr, 0);
        if (valueSize < 0) {
            return false;
        }
        std::vector<char> value(static_cast<std::size_t>(valueSize));
        const ssize_t valueGot = ::getxattr(source.constData(), name, value.data(), value.size());
        if (valueGot < 0) {
            return false;
        }
        value.resize(std::size_t(valueGot));
        if (::fsetxattr(fd, name, value.data(), value.size(), 0) == 0) {
            continue;
        }
        std::vector<char> present(value.size() + 1);
        const ssize_t presentSize = ::fgetxattr(fd, name, present.data(), present.size());
        if (presentSize != valueGot || std::memcmp(present.data(), value.data(), value.size())) {
            return false;
        }
    }
    // The temporary file may carry attributes the source lacks, above all an ACL inherited
    // from the folder's default ACL, which would change who may use the file: remove them.
    const auto inSource = [&](const char* wanted) {
        for (const char* name = names.data(); name < names.data() + got;
             name += std::strlen(name) + 1) {
            if (std::strcmp(name, wanted) == 0) {
                return true;
            }
        }
        return false;
    };
    std::vector<char> own;
    const ssize_t ownGot = ListAttributeNames(
        [&](char* buffer, std::size_t size) { return ::flistxattr(fd, buffer, size); }, own);
    if (ownGot < 0) {
        return false;
    }
    for (const char* name = own.data(); name < own.data() + ownGot; name += std::strlen(name) + 1) {
        if (!inSource(name) && ::fremovexattr(fd, name) != 0) {
            return false;
        }
    }
    return true;
}

// A name for a temporary file in folder that no file has yet: a dot name.
QByteArray TemporaryName(const QByteArray& folder, int attempt) {
    static std::atomic<unsigned> counter = 0;
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    static const pid_t pid = ::getpid();
    return folder + "/.quillmark-" + QByteArray::number(pid) + '-' + QByteArray::number(++counter) +
           '-' + QByteArray::number(qint64(now.tv_nsec)) + '-' + QByteArray::number(attempt);
}

// A temporary file in folder: unnamed (O_TMPFILE) where the file system allows it, named
// otherwise. linkedName stays empty while the file has no name.
bool OpenTemporary(const QByteArray& folder, Fd& fd, QByteArray& linkedName) {
    fd.Reset(::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600));
    if (fd.ok()) {
        return true;
    }
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
        return false;
    }
    QByteArray pattern = folder + "/.quillmark-XXXXXX";
    fd.Reset(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd.ok()) {
        return false;
    }
    linkedName = pattern;
    return true;
}

enum LinkAndRenameStatus : int { kRenamed = 0, kNameTaken = 1, kFailed = 2 };

// Links from (the /proc path of an open file) to temporary and renames that over to, in a
// vfork child; returns how it went.
int LinkAndRenameInChild(const char* from, const char* temporary, const char* to) {
    const pid_t child = ::vfork();
    if (child == 0) {
        if (::linkat(AT_FDCWD, from, AT_FDCWD, temporary, AT_SYMLINK_FOLLOW) != 0) {
            ::_exit(errno == EEXIST ? kNameTaken : kFailed);
        }
        if (::rename(temporary, to) != 0) {
            ::unlink(temporary);
            ::_exit(kFailed);
        }
        ::_exit(kRenamed);
    }
    if (child < 0) {
        return kFailed;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return kFailed;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kFailed;
}

// Gives the unnamed temporary file fd a dot name in folder and renames it over target. Both
// steps run in a vfork child: killed between them, this process would leave the named file in
// the folder, while the child, which a kill of this process does not reach, finishes the
// pair or takes the name away again.
bool LinkAndRename(const QByteArray& folder, int fd, const QByteArray& target) {
    const QByteArray procPath = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = TemporaryName(folder, attempt);
        const int status =
            LinkAndRenameInChild(procPath.constData(), name.constData(), target.constData());
        if (status != kNameTaken) {
            return status == kRenamed;
        }
    }
    return false;
}

QByteArray FolderOf(const QByteArray& target) {
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0) {
        return ".";
    }
    return slash == 0 ? QByteArray("/") : target.left(slash);
}

}  // namespace

ReadOutcome PosixFileStore::ReadWholeFile(const QByteArray& path, QByteArray& content,
                                          FileStamp& stamp) {
    // O_NONBLOCK keeps a fifo from blocking the open; it is refused below.
    Fd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.ok()) {
        return ReadOutcome::CouldNotRead;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return ReadOutcome::CouldNotRead;
    }
    if (!S_ISREG(st.st_mode)) {
        return ReadOutcome::NotRegularFile;
    }
    const qsizetype size = st.st_size;
    if (content.constData() == mapped_.View().data()) {
        content = QByteArray();  // it refers to the mapping that goes now
    }
    mapped_.Reset();
    if (size >= kMapAtLeast && mapped_.Map(fd.get(), size)) {
        content = QByteArray::fromRawData(mapped_.View().data(), size);
        stamp = StampOf(st);
        return ReadOutcome::Read;
    }
    if (content.capacity() < size || !content.isDetached()) {
        content = QByteArray();  // the old buffer goes before the new one is taken
        content = NewBuffer(size);
    } else {
        content.resize(size);
    }
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd.get(), content.data() + got, std::size_t(size - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return ReadOutcome::CouldNotRead;
        }
        if (n == 0) {
            break;  // the file shrank since the stat: the save's stamp check will notice
        }
        got += n;
    }
    content.truncate(got);
    stamp = StampOf(st);
    return ReadOutcome::Read;
}

// A save whose temporary file is written and given the target's owner, mode and attributes;
// what is left is to sync it and put it in the target's place.
struct PosixFileStore::PreparedSave {
    Fd fd;
    QByteArray target;
    QByteArray folder;
    QByteArray temporary;  // the temporary file's name, when it has one
    FileStamp readStamp;
    FileKey oldKey;
    FileKey newKey;
};

PosixFileStore::PosixFileStore() = default;

PosixFileStore::~PosixFileStore() {
    FinishSaves();
}

SaveOutcome PosixFileStore::Prepare(const QByteArray& path, const FileStamp& readStamp,
                                    const NewContent& content,
                                    std::unique_ptr<PreparedSave>& prepared) {
    auto save = std::make_unique<PreparedSave>();
    struct stat st {};
    if (!ResolveTarget(path, save->target, st)) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    if (!S_ISREG(st.st_mode)) {
        return SaveOutcome::NotRegularFile;
    }
    if (!SameStamp(StampOf(st), readStamp)) {
        return SaveOutcome::ChangedByAnotherProgram;
    }
    save->oldKey = {quint64(st.st_dev), quint64(st.st_ino)};
    if (IsSaved(save->oldKey)) {
        return SaveOutcome::AlreadySaved;
    }
    if (st.st_nlink > 1) {
        return SaveOutcome::SeveralHardLinks;
    }
    // A rename would get around a missing write permission, also for root: check first.
    if (!(st.st_mode & S_IWUSR) ||
        ::faccessat(AT_FDCWD, save->target.constData(), W_OK, AT_EACCESS)) {
        return SaveOutcome::ReadOnly;
    }

    save->folder = FolderOf(save->target);
    save->readStamp = readStamp;
    if (!OpenTemporary(save->folder, save->fd, save->temporary)) {
        return SaveOutcome::CouldNotWrite;
    }
    if (!WriteContent(save->fd.get(), content) || mapped_.Damaged()) {
        // A mapped file that shrank since the read leaves holes the write cannot fill.
        return Abandon(*save, StillAsRead(save->target, readStamp)
                                  ? SaveOutcome::CouldNotWrite
                                  : SaveOutcome::ChangedByAnotherProgram);
    }
    // Owner first: a change of owner clears the setuid and setgid bits that fchmod restores.
    if (::fchown(save->fd.get(), st.st_uid, st.st_gid) != 0) {
        (void)::fchown(save->fd.get(), uid_t(-1), st.st_gid);
    }
    if (::fchmod(save->fd.get(), st.st_mode & 07777) != 0 ||
        !CopyExtendedAttributes(save->target, save->fd.get())) {
        return Abandon(*save, SaveOutcome::CouldNotWrite);
    }
    // Without the rights to give the file its owner and group (or, not being in its group,
    // to set its setgid bit), a save would hand another user's file to this one.
    struct stat written {};
    if (::fstat(save->fd.get(), &written) != 0 || written.st_uid != st.st_uid ||
        written.st_gid != st.st_gid || (written.st_mode & 07777) != (st.st_mode & 07777)) {
        return Abandon(*save, SaveOutcome::CouldNotWrite);
    }
    save->newKey = {quint64(written.st_dev), quint64(written.st_ino)};
    if (beforeRename_) {
        beforeRename_(save->target);
    }
    prepared = std::move(save);
    return SaveOutcome::Pending;
}

SaveOutcome PosixFileStore::Abandon(const PreparedSave& save, SaveOutcome outcome) {
    if (!save.temporary.isEmpty()) {
        ::unlink(save.temporary.constData());
    }
    return outcome;
}

SaveOutcome PosixFileStore::Complete(PreparedSave& save) {
    if (::fsync(save.fd.get()) != 0) {
        return Abandon(save, SaveOutcome::CouldNotWrite);
    }
    if (!StillAsRead(save.target, save.readStamp)) {
        return Abandon(save, SaveOutcome::ChangedByAnotherProgram);
    }
    if (save.temporary.isEmpty() ? !LinkAndRename(save.folder, save.fd.get(), save.target)
                                 : ::rename(save.temporary.constData(), save.target.constData())) {
        return Abandon(save, SaveOutcome::CouldNotWrite);
    }
    return SaveOutcome::Saved;
}

bool PosixFileStore::IsSaved(const FileKey& key) {
    const std::lock_guard lock(savedMutex_);
    return saved_.contains(key);
}

void PosixFileStore::MarkSaving(const PreparedSave& save) {
    const std::lock_guard lock(savedMutex_);
    saved_.insert(save.oldKey);
    saved_.insert(save.newKey);
}

void PosixFileStore::ForgetSave(const PreparedSave& save) {
    const std::lock_guard lock(savedMutex_);
    saved_.remove(save.oldKey);
    saved_.remove(save.newKey);
}

SaveOutcome PosixFileStore::SafeSave(const QByteArray& path, const FileStamp& readStamp,
                                     const QByteArray& content) {
    std::unique_ptr<PreparedSave> save;
    const SaveOutcome prepared = Prepare(path, readStamp, WholeContent(content), save);
    if (prepared != SaveOutcome::Pending) {
        return prepared;
    }
    const SaveOutcome outcome = Complete(*save);
    if (outcome == SaveOutcome::Saved) {
        foldersToSync_.insert(save->folder);
        MarkSaving(*save);
    }
    return outcome;
}

SaveOutcome PosixFileStore::BeginSave(const QByteArray& path, const FileStamp& readStamp,
                                      const NewContent& content) {
    std::unique_ptr<PreparedSave> prepared;
    const SaveOutcome outcome = Prepare(path, readStamp, content, prepared);
    if (outcome != SaveOutcome::Pending) {
        return outcome;
    }
    MarkSaving(*prepared);
    foldersToSync_.insert(prepared->folder);
    if (!pending_) {
        pending_ = std::make_unique<WorkQueue>(kSaveThreads, kMostPendingSaves);
    }
    pending_->Add([this, save = std::shared_ptr<PreparedSave>(std::move(prepared))] {
        const SaveOutcome done = Complete(*save);
        if (done != SaveOutcome::Saved) {
            ForgetSave(*save);
        }
        save->fd.Reset();
        return int(done);
    });
    return SaveOutcome::Pending;
}

QList<SaveOutcome> PosixFileStore::FinishSaves() {
    // Letting go of a large file's mapping takes a while; it goes while the saves still sync.
    mapped_.Reset();
    QList<SaveOutcome> outcomes;
    if (pending_) {
        for (const int outcome : pending_->Finish()) {
            outcomes.append(SaveOutcome(outcome));
        }
        pending_.reset();
    }
    for (const QByteArray& folder : std::as_const(foldersToSync_)) {
        Fd fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.ok()) {
            ::fsync(fd.get());
        }
    }
    foldersToSync_.clear();
    saved_.clear();
    return outcomes;
}
