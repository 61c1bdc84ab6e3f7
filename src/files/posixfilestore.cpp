// SPDX-License-Identifier: GPL-3.0-or-later
#include "posixfilestore.h"

#include "buffers.h"
#include "fileaccess.h"
#include "filesave.h"
#include "storefolder.h"
#include "temporaryfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <memory>
#include <optional>

namespace {

QByteArray AddSlash(const QByteArray& path) {
    return path.endsWith('/') ? path : path + '/';
}

// What a save needs to know of the folder open as fd: whether renames into it are forbidden,
// and the owner and group its new files get.
void LookAtFolder(int fd, StoreFolder& folder) {
    folder.newFileOwner = ::geteuid();
    struct statx st {};
    if (::statx(fd, "", AT_EMPTY_PATH, STATX_MODE | STATX_GID, &st) != 0) {
        folder.newFileGroup = ::getegid();
        return;
    }
    folder.renameForbidden = RenameForbidden(fd, st);
    folder.newFileGroup = (st.stx_mode & S_ISGID) ? gid_t(st.stx_gid) : ::getegid();
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

// Opens the entry name of the folder open as folderFd for a read, as OpenChecked does, with
// its status in st: Read when it is a regular file, else the outcome of the read.
ReadOutcome OpenForRead(int folderFd, const QByteArray& name, Fd& fd, struct stat& st) {
    // O_NONBLOCK keeps a fifo from blocking the open; it is refused below.
    switch (OpenChecked(folderFd, name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
                        fd, st)) {
        case Opened::Ok:
            break;
        case Opened::Failed:
            return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::CouldNotRead;
        case Opened::LinkOfAnotherUser:
            return ReadOutcome::LinkOfAnotherUser;
    }
    return S_ISREG(st.st_mode) ? ReadOutcome::Read : ReadOutcome::NotRegularFile;
}

}  // namespace

PosixFileStore::PosixFileStore() = default;

PosixFileStore::~PosixFileStore() {
    FinishSaves();
}

ReadOutcome PosixFileStore::ReadWholeFile(const QByteArray& path, QByteArray& content,
                                          FileStamp& stamp) {
    lastRead_.Reset();
    QByteArray name;
    const std::shared_ptr<StoreFolder> folder = Locate(path, name);
    if (!folder) {
        return errno == ENOENT ? ReadOutcome::Missing : ReadOutcome::CouldNotRead;
    }
    if (readPool_) {
        if (std::optional<ReadPool::Read> read = readPool_->Take(folder->fd(), name)) {
            if (content.constData() == handedOut_) {
                content = QByteArray();  // it refers to a mapping that goes now
            }
            handedOut_ = nullptr;
            mapped_.reset();
            content = std::move(read->content);
            stamp = read->stamp;
            return read->outcome;
        }
    }
    Fd fd;
    struct stat st {};
    if (const ReadOutcome opened = OpenForRead(folder->fd(), name, fd, st);
        opened != ReadOutcome::Read) {
        return opened;
    }
    const qsizetype size = st.st_size;
    if (content.constData() == handedOut_) {
        content = QByteArray();  // it refers to a mapping that goes now, or went with a save
    }
    handedOut_ = nullptr;
    mapped_.reset();
    stamp = StampOf(st);
    // A mapping is made only for a file large enough to be mapped: a small file costs no
    // allocation of one (bench row "A replace", CPU against the floor x2).
    if (auto mapping = size >= kMapAtLeast ? std::make_shared<MappedFile>() : nullptr;
        mapping && mapping->Map(fd.get(), size, !onlySearch_)) {
        mapped_ = std::move(mapping);
        content = QByteArray::fromRawData(mapped_->View().data(), size);
        handedOut_ = content.constData();
    } else if (!ReadInto(fd.get(), size, content)) {
        return ReadOutcome::CouldNotRead;
    }
    // Bench row "A replace": a save of the file takes this descriptor over instead of opening
    // the file again, an open and an fstat fewer a save (strace -c -f).
    if (!onlySearch_) {
        lastRead_.Reset(fd.Release());
        lastReadStamp_ = stamp;
    }
    return ReadOutcome::Read;
}

bool PosixFileStore::ReadForPool(int folderFd, const QByteArray& name, ReadPool::Read& read) {
    Fd fd;
    struct stat st {};
    read.outcome = OpenForRead(folderFd, name, fd, st);
    if (read.outcome != ReadOutcome::Read) {
        return true;
    }
    if (st.st_size >= kReadAheadBelow) {
        return false;  // read, or mapped, by the run itself
    }
    read.stamp = StampOf(st);
    read.outcome = ReadInto(fd.get(), st.st_size, read.content) ? ReadOutcome::Read
                                                                : ReadOutcome::CouldNotRead;
    return true;
}

void PosixFileStore::HoldFolder(std::shared_ptr<const HeldFolder> folder) {
    // Their threads may be opening a file of the folder held until now.
    readPool_.reset();
    readAhead_.reset();
    held_ = std::move(folder);
    heldFolder_.reset();
}

std::shared_ptr<StoreFolder> PosixFileStore::FolderFor(const QByteArray& path) {
    std::shared_ptr<StoreFolder>& folder = folders_[path];
    if (!folder) {
        auto opened = std::make_shared<StoreFolder>();
        opened->own.Reset(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!opened->own.ok()) {
            const int saved = errno;
            folders_.remove(path);
            errno = saved;
            return nullptr;
        }
        Enter(*opened);
        folder = std::move(opened);
    }
    return folder;
}

std::shared_ptr<StoreFolder> PosixFileStore::Locate(const QByteArray& path, QByteArray& name) {
    if (held_) {
        name = held_->NameOf(path);
        if (!name.isEmpty()) {
            if (!heldFolder_) {
                heldFolder_ = std::make_shared<StoreFolder>();
                heldFolder_->held = held_;
                Enter(*heldFolder_);
            }
            return heldFolder_;
        }
    }
    QByteArray folder;
    SplitPath(path, folder, name);
    return FolderFor(folder);
}

void PosixFileStore::Enter(StoreFolder& folder) {
    LookAtFolder(folder.fd(), folder);
    // A save killed between the link and the rename of its temporary file left it named. A
    // read comes first in a run, and an undo or a replace may save nothing in the folder.
    if (!onlySearch_) {
        RemoveStaleTemporaries(folder.fd());
    }
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
        if (done->first == stamp) {
            earlier = done->second;
            return true;
        }
    }
    return false;
}

SaveOutcome PosixFileStore::FindTarget(const QByteArray& path, std::shared_ptr<StoreFolder>& folder,
                                       QByteArray& name, QByteArray& target, struct statx& entry) {
    folder = Locate(path, name);
    if (!folder) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    target = folder->held ? AddSlash(folder->held->Path()) + name : path;
    constexpr unsigned kWanted = STATX_BASIC_STATS;
    if (::statx(folder->fd(), name.constData(), AT_SYMLINK_NOFOLLOW, kWanted, &entry) != 0) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    if (!S_ISLNK(entry.stx_mode)) {
        return S_ISREG(entry.stx_mode) ? SaveOutcome::Pending : SaveOutcome::NotRegularFile;
    }
    // A symlink: the file it leads to is saved in its own folder, which the open finds.
    Fd through;
    struct stat st {};
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
    if (::statx(folder->fd(), name.constData(), AT_SYMLINK_NOFOLLOW, kWanted, &entry) != 0) {
        return errno == ENOENT ? SaveOutcome::ChangedByAnotherProgram : SaveOutcome::CouldNotWrite;
    }
    return SaveOutcome::Pending;
}

SaveOutcome PosixFileStore::Check(const QByteArray& path, const FileStamp& readStamp, Fd& read,
                                  std::unique_ptr<FileSave>& save, QByteArray& target) {
    std::shared_ptr<StoreFolder> folder;
    QByteArray name;
    struct statx entry {};
    const SaveOutcome found = FindTarget(path, folder, name, target, entry);
    if (found != SaveOutcome::Pending) {
        return found;
    }
    save = std::make_unique<FileSave>(std::move(folder), std::move(name), readStamp, entry);
    return save->Check(read);
}

SaveOutcome PosixFileStore::CheckSave(const QByteArray& path, const FileStamp& readStamp) {
    Fd noRead;  // the last read stays open for a save of it
    std::unique_ptr<FileSave> save;
    QByteArray target;
    return Check(path, readStamp, noRead, save, target);
}

SaveOutcome PosixFileStore::Prepare(const QByteArray& path, const FileStamp& readStamp,
                                    QByteArrayView oldContent, const NewContent& content,
                                    std::unique_ptr<FileSave>& prepared) {
    Fd noRead;
    const bool lastRead = lastRead_.ok() && lastReadStamp_ == readStamp;
    std::unique_ptr<FileSave> save;
    QByteArray target;
    if (const SaveOutcome checked =
            Check(path, readStamp, lastRead ? lastRead_ : noRead, save, target);
        checked != SaveOutcome::Pending) {
        return checked;
    }
    if (const SaveOutcome written = save->Write(oldContent, content, mapped_);
        written != SaveOutcome::Pending) {
        return written;
    }
    if (beforeRename_) {
        beforeRename_(target);
    }
    prepared = std::move(save);
    return SaveOutcome::Pending;
}

SaveTicket PosixFileStore::Register(const FileSave& save) {
    const SaveTicket ticket = ++lastTicket_;
    pendingTickets_.push_back(ticket);
    // Both numbers stay this save's while it holds both files open.
    const std::lock_guard lock(savedMutex_);
    beingSaved_.insert({save.ReadStamp().device, save.ReadStamp().inode}, ticket);
    beingSaved_.insert(save.NewKey(), ticket);
    reports_.emplace_back();
    return ticket;
}

void PosixFileStore::Settle(const FileSave& save, SaveTicket ticket, const SaveReport& report) {
    const FileKey old{save.ReadStamp().device, save.ReadStamp().inode};
    beingSaved_.remove(old);
    beingSaved_.remove(save.NewKey());
    if (report.outcome == SaveOutcome::Saved) {
        savedOld_.insert(old, {save.ReadStamp(), ticket});
        savedNew_.insert(save.NewKey(), ticket);
    }
}

SaveOutcome PosixFileStore::BeginSave(const QByteArray& path, const FileStamp& readStamp,
                                      QByteArrayView oldContent, const NewContent& content,
                                      SaveTicket& ticket) {
    // First, as the file may have been saved through another name since this one was read.
    if (SavedAs(readStamp, ticket)) {
        return SaveOutcome::AlreadySaved;
    }
    std::unique_ptr<FileSave> prepared;
    const SaveOutcome outcome = Prepare(path, readStamp, oldContent, content, prepared);
    if (outcome != SaveOutcome::Pending) {
        return outcome;
    }
    ticket = Register(*prepared);
    if (!pending_) {
        pending_ = std::make_unique<WorkQueue>(kSaveThreads, kMostPendingSaves);
    }
    const std::size_t slot = pendingTickets_.size() - 1;
    pending_->Add([this, slot, ticket, save = std::shared_ptr<FileSave>(std::move(prepared))] {
        const SaveReport report = save->Complete();
        {
            const std::lock_guard lock(savedMutex_);
            Settle(*save, ticket, report);
            reports_[slot] = report;
            completed_.push_back(slot);
        }
        save->LetGo();
    });
    return SaveOutcome::Pending;
}

void PosixFileStore::WillRead(const QByteArray& path) {
    QByteArray name;
    const std::shared_ptr<StoreFolder> folder = Locate(path, name);
    if (!folder) {
        return;
    }
    if (!readAhead_) {
        readAhead_ = std::make_unique<ReadAhead>();
        if (onlySearch_) {
            readPool_ = std::make_unique<ReadPool>(&PosixFileStore::ReadForPool);
        }
    }
    if (readPool_) {
        readPool_->Hint(folder->fd(), name);
    }
    // The folder outlives the hint: FinishSaves and HoldFolder stop the thread first.
    readAhead_->Hint(folder->fd(), name);
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
    lastRead_.Reset();
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
    for (const std::shared_ptr<StoreFolder>& folder : std::as_const(folders_)) {
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
