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

// Whether the file or folder open as fd may not be renamed over or into: append-only or
// immutable. A file system without such flags has none.
bool RenameForbidden(int fd) {
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
           (flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0;
}

}  // namespace

ReadOutcome PosixFileStore::ReadWholeFile(const QByteArray& path, QByteArray& content,
                                          FileStamp& stamp) {
    RemoveStaleOnce(path);
    // O_NONBLOCK keeps a fifo from blocking the open; it is refused below.
    Fd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.ok()) {
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::CouldNotRead;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return ReadOutcome::CouldNotRead;
    }
    if (!S_ISREG(st.st_mode)) {
        return ReadOutcome::NotRegularFile;
    }
    const qsizetype size = st.st_size;
    if (content.constData() == handedOut_) {
        content = QByteArray();  // it refers to a mapping that goes now, or went with a save
    }
    handedOut_ = nullptr;
    mapped_.reset();
    if (auto mapping = std::make_shared<MappedFile>();
        size >= kMapAtLeast && mapping->Map(fd.get(), size, !onlySearch_)) {
        mapped_ = std::move(mapping);
        content = QByteArray::fromRawData(mapped_->View().data(), size);
        handedOut_ = content.constData();
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

// The folder of the targets a run saves into: open for the steps of its saves and for the
// sync at FinishSaves.
struct PosixFileStore::Folder {
    Fd fd;
    bool renameForbidden = false;
    bool staleRemoved = false;  // the leftovers of killed runs have been looked for
};

// A save whose temporary file is written and given the target's owner, mode and attributes;
// what is left is to sync it, prove the target unchanged, and put it in the target's place.
struct PosixFileStore::PreparedSave {
    SaveTicket ticket = 0;
    std::shared_ptr<Folder> folder;
    QByteArray name;  // the target's name in its folder
    Fd old;           // the target as read, open read-only for as long as the save lasts
    WriteWatch watch;
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

std::shared_ptr<PosixFileStore::Folder> PosixFileStore::FolderFor(const QByteArray& path) {
    std::shared_ptr<Folder>& folder = folders_[path];
    if (!folder) {
        auto opened = std::make_shared<Folder>();
        opened->fd.Reset(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!opened->fd.ok()) {
            folders_.remove(path);
            return nullptr;
        }
        opened->renameForbidden = RenameForbidden(opened->fd.get());
        folder = std::move(opened);
    }
    return folder;
}

bool PosixFileStore::SavedBefore(const FileStamp& stamp, SaveTicket& earlier) {
    const FileKey key{stamp.device, stamp.inode};
    const std::lock_guard lock(savedMutex_);
    if (const auto being = beingSaved_.constFind(key); being != beingSaved_.cend()) {
        earlier = *being;
        return true;
    }
    for (auto done = saved_.constFind(key); done != saved_.cend() && done.key() == key; ++done) {
        if (SameStamp(done->first, stamp)) {
            earlier = done->second;
            return true;
        }
    }
    return false;
}

SaveOutcome PosixFileStore::Prepare(const QByteArray& path, const FileStamp& readStamp,
                                    QByteArrayView oldContent, const NewContent& content,
                                    std::unique_ptr<PreparedSave>& prepared, SaveTicket& earlier) {
    // First, as the file may have been saved through another name since this one was read.
    if (SavedBefore(readStamp, earlier)) {
        return SaveOutcome::AlreadySaved;
    }
    auto save = std::make_unique<PreparedSave>();
    QByteArray target;
    struct stat st {};
    if (!ResolveTarget(path, target, st)) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    if (!S_ISREG(st.st_mode)) {
        return SaveOutcome::NotRegularFile;
    }
    const qsizetype slash = target.lastIndexOf('/');
    save->name = target.mid(slash + 1);
    save->folder = FolderFor(slash < 0    ? QByteArray(".")
                             : slash == 0 ? QByteArray("/")
                                          : target.left(slash));
    if (!save->folder) {
        return SaveOutcome::CouldNotWrite;
    }
    const int folderFd = save->folder->fd.get();
    save->old.Reset(::openat(folderFd, save->name.constData(),
                             O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY));
    if (!save->old.ok()) {
        return errno == ENOENT || errno == ELOOP ? SaveOutcome::ChangedByAnotherProgram
                                                 : SaveOutcome::CouldNotWrite;
    }
    if (::fstat(save->old.get(), &st) != 0) {
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
    if (!(st.st_mode & S_IWUSR) ||
        ::faccessat(folderFd, save->name.constData(), W_OK, AT_EACCESS)) {
        return SaveOutcome::ReadOnly;
    }
    // In an append-only or immutable folder, or over such a file, the rename would fail after
    // the temporary file was made: nothing is made.
    if (save->folder->renameForbidden || RenameForbidden(save->old.get())) {
        return SaveOutcome::CouldNotWrite;
    }
    if (save->watch.Begin(save->old.get()) == WriteWatch::Start::InUse) {
        return SaveOutcome::InUse;
    }
    save->readStamp = readStamp;
    save->oldHash = HashOf(oldContent);
    if (mapped_ && !oldContent.isEmpty() && oldContent.data() == mapped_->View().data()) {
        save->mapping = mapped_;
    }

    if (!save->temporary.Open(folderFd)) {
        return SaveOutcome::CouldNotWrite;
    }
    // A symlink's target may lie in a folder the run has not read in.
    if (save->temporary.Named() && !save->folder->staleRemoved) {
        save->folder->staleRemoved = true;
        RemoveStaleTemporaries(folderFd);
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
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        (void)::fchown(fd, uid_t(-1), st.st_gid);
    }
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
        // The stamp is the cheap first look; the content is the proof, for an edit that left
        // the times as they were (coarse timestamps, times put back).
        struct stat named {};
        struct stat held {};
        if (::fstatat(save.folder->fd.get(), save.name.constData(), &named, AT_SYMLINK_NOFOLLOW) !=
                0 ||
            !SameStamp(StampOf(named), save.readStamp) || ::fstat(save.old.get(), &held) != 0 ||
            !SameStamp(StampOf(held), save.readStamp) || !HoldsAsRead(save)) {
            return SaveOutcome::ChangedByAnotherProgram;
        }
        if (save.watch.Broken()) {
            return SaveOutcome::InUse;
        }
        // Not under the lock: the saves' renames run side by side. Meanwhile the new file's
        // number, held since Prepare, tells a second name of it.
        if (!save.temporary.RenameOver(save.name)) {
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
            saved_.insert({save.readStamp.device, save.readStamp.inode},
                          {save.readStamp, save.ticket});
            saved_.insert(save.newKey, {report.written, save.ticket});
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

void PosixFileStore::RemoveStaleOnce(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folderPath =
        slash < 0 ? QByteArray(".") : path.left(qMax<qsizetype>(slash, 1));
    if (lookedForStale_.contains(folderPath)) {
        return;
    }
    lookedForStale_.insert(folderPath);
    const Fd folder(::open(folderPath.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.ok() && NeedsNamedTemporaries(folder.get())) {
        RemoveStaleTemporaries(folder.get());
    }
}

void PosixFileStore::WillRead(const QByteArray& path) {
    if (!readAhead_) {
        readAhead_ = std::make_unique<ReadAhead>();
    }
    readAhead_->Hint(path);
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
        ::fsync(folder->fd.get());
    }
    folders_.clear();
    lookedForStale_.clear();
    const std::lock_guard lock(savedMutex_);
    beingSaved_.clear();
    saved_.clear();
    return outcomes;
}
