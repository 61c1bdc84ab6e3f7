#include "posixfilestore.h"

#include "buffers.h"
#include "extendedattributes.h"
#include "fd.h"
#include "filehash.h"
#include "piecewriter.h"
#include "temporaryfile.h"
#include "writewatch.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <optional>

namespace {

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
    return a == b;
}

enum class Opened { Ok, Failed, LinkOfAnotherUser };

// Opens name in the folder open as folderFd with flags and reads its status into st. A
// symlink is followed only when this user owns it or it leads to a file of its own owner, as
// the kernel's protected symlinks do in sticky folders, here in every folder. The owner and the
// target are read from the link the name held when looked at, and the owners are compared on
// what was opened, so that nothing swapped in meanwhile is followed instead. Failed keeps the
// errno of the failing call.
Opened OpenChecked(int folderFd, const char* name, int flags, Fd& fd, struct stat& st) {
    fd.Reset(::openat(folderFd, name, flags | O_NOFOLLOW));
    if (fd.ok()) {
        return ::fstat(fd.get(), &st) == 0 ? Opened::Ok : Opened::Failed;
    }
    if (errno != ELOOP) {
        return Opened::Failed;
    }
    const Fd link(::openat(folderFd, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
    struct stat linkStatus {};
    if (!link.ok() || ::fstat(link.get(), &linkStatus) != 0) {
        return Opened::Failed;
    }
    char target[PATH_MAX];
    const ssize_t length =
        S_ISLNK(linkStatus.st_mode) ? ::readlinkat(link.get(), "", target, sizeof target - 1) : -1;
    if (length < 0) {
        errno = S_ISLNK(linkStatus.st_mode) ? errno : EAGAIN;  // replaced since the first open
        return Opened::Failed;
    }
    target[length] = '\0';
    fd.Reset(::openat(folderFd, target, flags));
    if (!fd.ok() || ::fstat(fd.get(), &st) != 0) {
        return Opened::Failed;
    }
    if (linkStatus.st_uid != ::geteuid() && linkStatus.st_uid != st.st_uid) {
        fd.Reset();
        return Opened::LinkOfAnotherUser;
    }
    return Opened::Ok;
}

QByteArray AddSlash(const QByteArray& path) {
    return path.endsWith('/') ? path : path + '/';
}

// The folder path and the bare name of path.
void SplitPath(const QByteArray& path, QByteArray& folder, QByteArray& name) {
    const qsizetype slash = path.lastIndexOf('/');
    folder = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    name = path.mid(slash + 1);
}

// Whether the file or folder open as fd may not be renamed over or into: append-only or
// immutable. A file system without such flags has none.
bool RenameForbidden(int fd) {
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}

// Opens the entry name of the folder open as folderFd for reading, as OpenChecked does.
Opened OpenForRead(int folderFd, const QByteArray& name, Fd& fd, struct stat& st) {
    // O_NONBLOCK keeps a fifo from blocking the open; it is refused as not a regular file.
    return OpenChecked(folderFd, name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                       fd, st);
}

// Reads the open file fd, of size bytes when looked at, into content; a file that shrank
// since is read to its end. False when a read fails.
bool ReadInto(int fd, qsizetype size, QByteArray& content) {
    if (content.capacity() < size || !content.isDetached()) {
        content = QByteArray();  // the old buffer goes before the new one is taken
        content = NewBuffer(size);
    } else {
        content.resize(size);
    }
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, content.data() + got, std::size_t(size - got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;  // the file shrank since the stat: the save's stamp check will notice
        }
        got += n;
    }
    content.truncate(got);
    return true;
}

}  // namespace

// A folder a run reads or saves in: open for the steps of its reads and saves and for the
// sync at FinishSaves.
struct PosixFileStore::Folder {
    std::shared_ptr<const HeldFolder> held;  // the folder held, or null: own is open instead
    Fd own;
    bool renameForbidden = false;
    bool staleRemoved = false;  // the leftovers of killed runs have been looked for
    bool savedInto = false;     // a save has begun here: FinishSaves syncs the folder

    int fd() const { return held ? held->fd() : own.get(); }
};

ReadOutcome PosixFileStore::ReadWholeFile(const QByteArray& path, QByteArray& content,
                                          FileStamp& stamp) {
    QByteArray name;
    const std::shared_ptr<Folder> folder = Locate(path, name);
    if (!folder) {
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::CouldNotRead;
    }
    if (!onlySearch_) {
        RemoveStaleOnce(*folder);
    }
    if (content.constData() == handedOut_) {
        content = QByteArray();  // it refers to a mapping that goes now, or went with a save
    }
    handedOut_ = nullptr;
    mapped_.reset();
    if (readPool_) {
        if (std::optional<ReadPool::Read> read = readPool_->Take(folder->fd(), name)) {
            content = std::move(read->content);
            stamp = read->stamp;
            return read->outcome;
        }
    }
    Fd fd;
    struct stat st {};
    switch (OpenForRead(folder->fd(), name, fd, st)) {
        case Opened::Ok:
            break;
        case Opened::Failed:
            return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::CouldNotRead;
        case Opened::LinkOfAnotherUser:
            return ReadOutcome::LinkOfAnotherUser;
    }
    if (!S_ISREG(st.st_mode)) {
        return ReadOutcome::NotRegularFile;
    }
    const qsizetype size = st.st_size;
    if (auto mapping = std::make_shared<MappedFile>();
        size >= kMapAtLeast && mapping->Map(fd.get(), size, !onlySearch_)) {
        mapped_ = std::move(mapping);
        content = QByteArray::fromRawData(mapped_->View().data(), size);
        handedOut_ = content.constData();
        stamp = StampOf(st);
        return ReadOutcome::Read;
    }
    if (!ReadInto(fd.get(), size, content)) {
        return ReadOutcome::CouldNotRead;
    }
    stamp = StampOf(st);
    return ReadOutcome::Read;
}

bool PosixFileStore::ReadForPool(int folderFd, const QByteArray& name, ReadPool::Read& read) {
    Fd fd;
    struct stat st {};
    switch (OpenForRead(folderFd, name, fd, st)) {
        case Opened::Ok:
            break;
        case Opened::Failed:
            read.outcome = errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::CouldNotRead;
            return true;
        case Opened::LinkOfAnotherUser:
            read.outcome = ReadOutcome::LinkOfAnotherUser;
            return true;
    }
    if (!S_ISREG(st.st_mode)) {
        read.outcome = ReadOutcome::NotRegularFile;
        return true;
    }
    if (st.st_size >= kMapAtLeast) {
        return false;  // mapped by the run itself
    }
    read.outcome = ReadInto(fd.get(), st.st_size, read.content) ? ReadOutcome::Read
                                                                 : ReadOutcome::CouldNotRead;
    read.stamp = StampOf(st);
    return true;
}

// A save whose temporary file is written and given the target's owner, mode and attributes;
// what is left is to sync it, prove the target unchanged, and put it in the target's place.
struct PosixFileStore::PreparedSave {
    SaveTicket ticket = 0;
    std::shared_ptr<Folder> folder;
    QByteArray name;   // the target's name in its folder
    Fd old;            // the target as read, open read-only for as long as the save lasts
    WriteWatch watch;  // the target, leased from the last look at it until the save has decided
    TemporaryFile temporary;
    FileStamp readStamp;
    ContentHash oldHash;
    FileKey newKey;  // the temporary file's device and inode
    // A large target's mapping, taken over from the read: it shows what the file holds now,
    // without reading it again. Bench row "B replace": the proof costs a hash, not a copy.
    std::shared_ptr<const MappedFile> mapping;
};

PosixFileStore::PosixFileStore() = default;

PosixFileStore::~PosixFileStore() {
    FinishSaves();
}

void PosixFileStore::HoldFolder(std::shared_ptr<const HeldFolder> folder) {
    // Their threads may be opening a file of the folder held until now.
    readPool_.reset();
    readAhead_.reset();
    held_ = std::move(folder);
    heldFolder_.reset();
}

std::shared_ptr<PosixFileStore::Folder> PosixFileStore::FolderFor(const QByteArray& path) {
    std::shared_ptr<Folder>& folder = folders_[path];
    if (!folder) {
        auto opened = std::make_shared<Folder>();
        opened->own.Reset(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!opened->own.ok()) {
            const int saved = errno;
            folders_.remove(path);
            errno = saved;
            return nullptr;
        }
        opened->renameForbidden = RenameForbidden(opened->fd());
        folder = std::move(opened);
    }
    return folder;
}

std::shared_ptr<PosixFileStore::Folder> PosixFileStore::Locate(const QByteArray& path,
                                                               QByteArray& name) {
    if (held_) {
        name = held_->NameOf(path);
        if (!name.isEmpty()) {
            if (!heldFolder_) {
                heldFolder_ = std::make_shared<Folder>();
                heldFolder_->held = held_;
                heldFolder_->renameForbidden = RenameForbidden(held_->fd());
            }
            return heldFolder_;
        }
    }
    QByteArray folder;
    SplitPath(path, folder, name);
    return FolderFor(folder);
}

bool PosixFileStore::SavedAs(const FileStamp& stamp, SaveTicket& earlier) {
    const FileKey key{stamp.device, stamp.inode};
    const std::lock_guard lock(savedMutex_);
    if (const auto being = beingSaved_.constFind(key); being != beingSaved_.cend()) {
        earlier = *being;
        return true;
    }
    if (const auto made = savedNew_.constFind(key); made != savedNew_.cend()) {
        earlier = *made;
        return true;
    }
    for (auto done = savedOld_.constFind(key); done != savedOld_.cend() && done.key() == key;
         ++done) {
        if (SameStamp(done->first, stamp)) {
            earlier = done->second;
            return true;
        }
    }
    return false;
}

SaveOutcome PosixFileStore::FindTarget(const QByteArray& path, std::shared_ptr<Folder>& folder,
                                       QByteArray& name, QByteArray& target) {
    folder = Locate(path, name);
    if (!folder) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    target = folder->held ? AddSlash(folder->held->Path()) + name : path;
    struct stat st {};
    if (::fstatat(folder->fd(), name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    if (!S_ISLNK(st.st_mode)) {
        return S_ISREG(st.st_mode) ? SaveOutcome::Pending : SaveOutcome::NotRegularFile;
    }
    // A symlink: the file it leads to is saved in its own folder, which the open finds.
    Fd through;
    switch (OpenChecked(folder->fd(), name.constData(),
                        O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, through, st)) {
        case Opened::Ok:
            break;
        case Opened::Failed:
            return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram
                                   : SaveOutcome::CouldNotWrite;
        case Opened::LinkOfAnotherUser:
            return SaveOutcome::LinkOfAnotherUser;
    }
    if (!S_ISREG(st.st_mode)) {
        return SaveOutcome::NotRegularFile;
    }
    // Where the opened file is now. Its folder is opened by that path; the save then goes on
    // only while the entry there is the very file read (device, inode and a single link).
    char where[PATH_MAX];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(through.get());
    const ssize_t length = ::readlink(self.constData(), where, sizeof where);
    if (length <= 0 || length == ssize_t(sizeof where) || where[0] != '/') {
        return SaveOutcome::CouldNotWrite;
    }
    target = QByteArray(where, length);
    QByteArray folderPath;
    SplitPath(target, folderPath, name);
    folder = FolderFor(folderPath);
    if (!folder) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    return SaveOutcome::Pending;
}

SaveOutcome PosixFileStore::Check(const QByteArray& path, const FileStamp& readStamp,
                                  PreparedSave& save, QByteArray& target, struct stat& st) {
    const SaveOutcome found = FindTarget(path, save.folder, save.name, target);
    if (found != SaveOutcome::Pending) {
        return found;
    }
    const int folderFd = save.folder->fd();
    save.old.Reset(::openat(folderFd, save.name.constData(),
                            O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (!save.old.ok()) {
        return errno == ENOENT || errno == ELOOP ? SaveOutcome::ChangedByAnotherProgram
                                                 : SaveOutcome::CouldNotWrite;
    }
    if (::fstat(save.old.get(), &st) != 0) {
        return SaveOutcome::CouldNotWrite;
    }
    if (!S_ISREG(st.st_mode)) {
        return SaveOutcome::NotRegularFile;
    }
    if (!SameStamp(StampOf(st), readStamp)) {
        return SaveOutcome::ChangedByAnotherProgram;
    }
    if (st.st_nlink > 1) {
        return SaveOutcome::SeveralHardLinks;
    }
    // A rename would get around a missing write permission, also for root: check first.
    if (!(st.st_mode & S_IWUSR) || ::faccessat(folderFd, save.name.constData(), W_OK, AT_EACCESS)) {
        return SaveOutcome::ReadOnly;
    }
    // In an append-only or immutable folder, or over such a file, the rename would fail after
    // the temporary file was made: nothing is made.
    if (save.folder->renameForbidden || RenameForbidden(save.old.get())) {
        return SaveOutcome::CouldNotWrite;
    }
    // A locked file is known in use before anything is written; one merely open for writing
    // only once the save takes its lease.
    if (WriteWatch::Locked(save.old.get())) {
        return SaveOutcome::InUse;
    }
    return SaveOutcome::Pending;
}

SaveOutcome PosixFileStore::CheckSave(const QByteArray& path, const FileStamp& readStamp) {
    PreparedSave save;
    QByteArray target;
    struct stat st {};
    return Check(path, readStamp, save, target, st);
}

SaveOutcome PosixFileStore::Prepare(const QByteArray& path, const FileStamp& readStamp,
                                    QByteArrayView oldContent, const NewContent& content,
                                    std::unique_ptr<PreparedSave>& prepared, SaveTicket& earlier) {
    // First, as the file may have been saved through another name since this one was read.
    if (SavedAs(readStamp, earlier)) {
        return SaveOutcome::AlreadySaved;
    }
    auto save = std::make_unique<PreparedSave>();
    QByteArray target;
    struct stat st {};
    const SaveOutcome checked = Check(path, readStamp, *save, target, st);
    if (checked != SaveOutcome::Pending) {
        return checked;
    }
    const int folderFd = save->folder->fd();
    save->folder->savedInto = true;
    save->readStamp = readStamp;
    save->oldHash = HashOf(oldContent);
    if (mapped_ && !oldContent.isEmpty() && oldContent.data() == mapped_->View().data()) {
        save->mapping = mapped_;
    }

    if (!save->temporary.Open(folderFd)) {
        return SaveOutcome::CouldNotWrite;
    }
    // A symlink's target may lie in a folder the run has not read in.
    if (save->temporary.Named()) {
        RemoveStaleOnce(*save->folder);
    }
    const int fd = save->temporary.fd();
    if (!WriteContent(fd, content) || LastReadDamaged()) {
        // A mapped file that shrank since the read leaves holes the write cannot fill.
        struct stat now {};
        return ::fstat(save->old.get(), &now) == 0 && SameStamp(StampOf(now), readStamp)
                   ? SaveOutcome::CouldNotWrite
                   : SaveOutcome::ChangedByAnotherProgram;
    }
    // Owner first: a change of owner clears the setuid and setgid bits that fchmod restores.
    // Failing that, the group alone: the check below refuses a file that did not get both.
    const bool owned =
        ::fchown(fd, st.st_uid, st.st_gid) == 0 || ::fchown(fd, uid_t(-1), st.st_gid) == 0;
    Q_UNUSED(owned);
    if (::fchmod(fd, st.st_mode & 07777) != 0 || !CopyExtendedAttributes(save->old.get(), fd)) {
        return SaveOutcome::CouldNotWrite;
    }
    // Without the rights to give the file its owner and group (or, not being in its group,
    // to set its setgid bit), a save would hand another user's file to this one.
    struct stat written {};
    if (::fstat(fd, &written) != 0 || written.st_uid != st.st_uid || written.st_gid != st.st_gid ||
        (written.st_mode & 07777) != (st.st_mode & 07777)) {
        return SaveOutcome::CouldNotWrite;
    }
    if (beforeRename_) {
        beforeRename_(target);
    }
    save->ticket = ++lastTicket_;
    save->newKey = {quint64(written.st_dev), quint64(written.st_ino)};
    {
        // Both numbers stay this save's while it holds both files open.
        const std::lock_guard lock(savedMutex_);
        beingSaved_.insert({readStamp.device, readStamp.inode}, save->ticket);
        beingSaved_.insert(save->newKey, save->ticket);
    }
    prepared = std::move(save);
    return SaveOutcome::Pending;
}

bool PosixFileStore::HoldsAsRead(const PreparedSave& save) {
    if (save.mapping) {
        return !save.mapping->Damaged() && HashOf(save.mapping->View()) == save.oldHash;
    }
    ContentHash now;
    return HashOfFile(save.old.get(), save.readStamp.size, now) && now == save.oldHash;
}

SaveReport PosixFileStore::Complete(PreparedSave& save) {
    SaveReport report;
    report.replaced = save.oldHash;
    report.outcome = [&] {
        if (::fsync(save.temporary.fd()) != 0) {
            return SaveOutcome::CouldNotWrite;
        }
        // From here until the save has decided, a program that opens the file for writing
        // waits, and the save sees it: the lease comes before the last look at the content.
        if (save.watch.Begin(save.old.get()) == WriteWatch::Start::InUse) {
            return SaveOutcome::InUse;
        }
        // The stamp is the cheap first look; the content is the proof, for an edit that left
        // the times as they were (coarse timestamps, times put back).
        struct stat named {};
        struct stat held {};
        if (::fstatat(save.folder->fd(), save.name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            !SameStamp(StampOf(named), save.readStamp) || ::fstat(save.old.get(), &held) != 0 ||
            !SameStamp(StampOf(held), save.readStamp) || !HoldsAsRead(save)) {
            return SaveOutcome::ChangedByAnotherProgram;
        }
        if (save.watch.Broken()) {
            return SaveOutcome::InUse;
        }
        // Not under the lock: the saves' renames run side by side. Meanwhile the new file's
        // number, held since Prepare, tells a second name of it.
        switch (save.temporary.PutInPlace(save.name, save.watch)) {
            case TemporaryFile::Placed::Yes:
                break;
            case TemporaryFile::Placed::InUse:
                return SaveOutcome::InUse;
            case TemporaryFile::Placed::TargetGone:
                return SaveOutcome::ChangedByAnotherProgram;
            case TemporaryFile::Placed::No:
                return SaveOutcome::CouldNotWrite;
        }
        struct stat written {};
        if (::fstat(save.temporary.fd(), &written) == 0) {
            report.written = StampOf(written);
        }
        return SaveOutcome::Saved;
    }();
    {
        const std::lock_guard lock(savedMutex_);
        beingSaved_.remove({save.readStamp.device, save.readStamp.inode});
        beingSaved_.remove(save.newKey);
        if (report.outcome == SaveOutcome::Saved) {
            savedOld_.insert({save.readStamp.device, save.readStamp.inode},
                             {save.readStamp, save.ticket});
            savedNew_.insert(save.newKey, save.ticket);
        }
    }
    save.watch.End();
    save.temporary.Close();
    save.mapping.reset();
    save.old.Reset();
    return report;
}

SaveOutcome PosixFileStore::BeginSave(const QByteArray& path, const FileStamp& readStamp,
                                      QByteArrayView oldContent, const NewContent& content,
                                      SaveTicket& ticket) {
    std::unique_ptr<PreparedSave> prepared;
    const SaveOutcome outcome = Prepare(path, readStamp, oldContent, content, prepared, ticket);
    if (outcome != SaveOutcome::Pending) {
        return outcome;
    }
    ticket = prepared->ticket;
    const int slot = int(pendingTickets_.size());
    pendingTickets_.push_back(ticket);
    {
        const std::lock_guard lock(savedMutex_);
        reports_.emplace_back();
    }
    if (!pending_) {
        pending_ = std::make_unique<WorkQueue>(kSaveThreads, kMostPendingSaves);
    }
    pending_->Add([this, slot, save = std::shared_ptr<PreparedSave>(std::move(prepared))] {
        const SaveReport report = Complete(*save);
        const std::lock_guard lock(savedMutex_);
        reports_[std::size_t(slot)] = report;
        completed_.push_back(std::size_t(slot));
        return int(report.outcome);
    });
    return SaveOutcome::Pending;
}

void PosixFileStore::RemoveStaleOnce(Folder& folder) {
    if (!folder.staleRemoved) {
        folder.staleRemoved = true;
        if (NeedsNamedTemporaries(folder.fd())) {
            RemoveStaleTemporaries(folder.fd());
        }
    }
}

void PosixFileStore::WillRead(const QByteArray& path) {
    QByteArray name;
    const std::shared_ptr<Folder> folder = Locate(path, name);
    if (!folder) {
        return;
    }
    if (!readAhead_) {
        readAhead_ = std::make_unique<ReadAhead>();
        readPool_ = std::make_unique<ReadPool>(&PosixFileStore::ReadForPool);
    }
    // The folder outlives the hint: FinishSaves and HoldFolder stop the threads first.
    readAhead_->Hint(folder->fd(), name);
    readPool_->Hint(folder->fd(), name);
}

QHash<SaveTicket, SaveReport> PosixFileStore::CompletedSaves() {
    QHash<SaveTicket, SaveReport> outcomes;
    const std::lock_guard lock(savedMutex_);
    for (const std::size_t slot : completed_) {
        outcomes.insert(pendingTickets_[slot], reports_[slot]);
    }
    completed_.clear();
    return outcomes;
}

QHash<SaveTicket, SaveReport> PosixFileStore::FinishSaves() {
    // Letting go of a large file's mapping takes a while; it goes while the saves still sync.
    mapped_.reset();
    readPool_.reset();
    readAhead_.reset();
    QHash<SaveTicket, SaveReport> outcomes;
    if (pending_) {
        pending_->Finish();
        pending_.reset();
        for (std::size_t i = 0; i < pendingTickets_.size(); ++i) {
            outcomes.insert(pendingTickets_[i], reports_[i]);
        }
    }
    pendingTickets_.clear();
    reports_.clear();
    completed_.clear();
    for (const std::shared_ptr<Folder>& folder : std::as_const(folders_)) {
        if (folder->savedInto) {
            ::fsync(folder->fd());
        }
    }
    if (heldFolder_ && heldFolder_->savedInto) {
        ::fsync(heldFolder_->fd());
    }
    folders_.clear();
    heldFolder_.reset();
    const std::lock_guard lock(savedMutex_);
    beingSaved_.clear();
    savedOld_.clear();
    savedNew_.clear();
    return outcomes;
}
