// SPDX-License-Identifier: GPL-3.0-or-later
#include "mappedfile.h"
#include "posixfilestore.h"
#include "testfiles.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

struct stat StatOf(const QString& path) {
    struct stat st {};
    ::stat(Native(path).constData(), &st);
    return st;
}

// New content given in the pieces a test chose.
class Pieces : public NewContent {
public:
    explicit Pieces(QByteArrayList pieces) : pieces_(std::move(pieces)) {}
    bool WriteTo(const std::function<bool(QByteArrayView)>& write) const override {
        for (const QByteArray& piece : pieces_) {
            if (!write(piece)) {
                return false;
            }
        }
        return true;
    }

private:
    QByteArrayList pieces_;
};

// Reads the file and begins a save of pieces over it, as a run does.
SaveOutcome ReadAndBeginSave(PosixFileStore& store, const QString& path,
                             const QByteArrayList& pieces) {
    QByteArray old;
    FileStamp stamp;
    if (store.ReadWholeFile(Native(path), old, stamp) != ReadOutcome::Read) {
        return SaveOutcome::CouldNotWrite;
    }
    SaveTicket ticket = 0;
    return store.BeginSave(Native(path), stamp, old, Pieces(pieces), ticket);
}

// The outcomes FinishSaves gives, in the order the saves began.
QList<SaveOutcome> FinishInOrder(PosixFileStore& store) {
    const QHash<SaveTicket, SaveReport> outcomes = store.FinishSaves();
    QList<SaveTicket> tickets = outcomes.keys();
    std::sort(tickets.begin(), tickets.end());
    QList<SaveOutcome> ordered;
    for (const SaveTicket ticket : tickets) {
        ordered.append(outcomes[ticket].outcome);
    }
    return ordered;
}

// Reads the file and saves content over it, as a run of one file does.
SaveOutcome ReadAndSave(PosixFileStore& store, const QString& path, const QByteArray& content) {
    const SaveOutcome begun = ReadAndBeginSave(store, path, {content});
    if (begun != SaveOutcome::Pending) {
        return begun;
    }
    const QList<SaveOutcome> outcomes = FinishInOrder(store);
    return outcomes.size() == 1 ? outcomes.first() : SaveOutcome::CouldNotWrite;
}

// Whether body succeeds in a child process where sync_file_range is refused, as a sandbox
// refuses a system call it does not let through.
bool SucceedsWithSyncFileRangeRefused(const std::function<bool()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_sync_file_range, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{sizeof filter / sizeof filter[0], filter};
        const bool refusing = ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
                              ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
        ::_exit(refusing && body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

}  // namespace

class TestFileStore : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readOutcomes_data();
    void readOutcomes();
    void readsWholeFile();
    void keepsModeBits_data();
    void keepsModeBits();
    void keepsOwnerAndGroup();
    void keepsExtendedAttributes();
    void readOnlyEvenForRoot();
    void symlinkChains_data();
    void symlinkChains();
    void savesAFileOncePerRun();
    void savesAFileReadBeforeTheLast();
    void pendingSaveWritesEveryPiece_data();
    void pendingSaveWritesEveryPiece();
    void pendingSavesReportInOrder();
    void moreSavesThanTheQueueHolds();
    void largeFileShortenedWhileRead_data();
    void largeFileShortenedWhileRead();
    void fileOtherProgramsWriteIsLeftAlone_data();
    void fileOtherProgramsWriteIsLeftAlone();
};

// A file is mapped only once the program has installed the handler for files that shrink;
// before that the store reads it.
void TestFileStore::initTestCase() {
    QTemporaryFile file;
    QVERIFY(file.open());
    QCOMPARE(file.write(QByteArray(8192, 'x')), 8192);
    QVERIFY(file.flush());
    MappedFile mapping;
    QVERIFY(!mapping.Map(file.handle(), 8192));
    QVERIFY(MappedFile::InstallBusErrorHandler());
    QVERIFY(mapping.Map(file.handle(), 8192));
    QCOMPARE(mapping.View(), QByteArray(8192, 'x'));
}

void TestFileStore::readOutcomes_data() {
    QTest::addColumn<bool>("readAhead");
    QTest::newRow("each read when asked for") << false;
    QTest::newRow("read ahead on other threads, in a run that only searches") << true;
}

void TestFileStore::readOutcomes() {
    QFETCH(bool, readAhead);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    QCOMPARE(::mkfifo(Native(dir.filePath("fifo")).constData(), 0644), 0);
    QVERIFY(QFile::link("missing", dir.filePath("dangling")));
    WriteFile(dir.filePath("small"), "abc");
    PosixFileStore store;
    const QStringList names = {"missing", "dangling", "folder", "fifo", "small"};
    if (readAhead) {
        store.WillOnlySearch(true);
        for (const QString& name : names) {
            store.WillRead(Native(dir.filePath(name)));
        }
    }
    QByteArray content;
    FileStamp stamp;
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("missing")), content, stamp),
             ReadOutcome::Missing);
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("dangling")), content, stamp),
             ReadOutcome::Missing);
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("folder")), content, stamp),
             ReadOutcome::NotRegularFile);
    // A fifo with no writer must not block the run.
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("fifo")), content, stamp),
             ReadOutcome::NotRegularFile);
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("small")), content, stamp), ReadOutcome::Read);
    QCOMPARE(content, QByteArray("abc"));
    QCOMPARE(stamp.size, 3);
    // A file read again after the run has passed it is read as it is now.
    WriteFile(dir.filePath("missing"), "now here");
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("missing")), content, stamp),
             ReadOutcome::Read);
    QCOMPARE(content, QByteArray("now here"));
}

void TestFileStore::readsWholeFile() {
    QTemporaryDir dir;
    const QByteArray big(3 * 1024 * 1024 + 17, '\xA5');
    WriteFile(dir.filePath("big"), big);
    WriteFile(dir.filePath("small"), "abc");
    PosixFileStore store;
    QByteArray content;
    FileStamp stamp;
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("big")), content, stamp), ReadOutcome::Read);
    QCOMPARE(content, big);
    QCOMPARE(stamp.size, big.size());
    // The same buffer, reused for a smaller file, holds only that file.
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("small")), content, stamp), ReadOutcome::Read);
    QCOMPARE(content, QByteArray("abc"));
}

void TestFileStore::keepsModeBits_data() {
    QTest::addColumn<uint>("mode");
    QTest::newRow("0640") << 0640u;
    QTest::newRow("setgid 2755") << 02755u;
    QTest::newRow("sticky 1644") << 01644u;
    QTest::newRow("setuid 4700") << 04700u;
    // A file made with the target's bits loses those the umask takes away.
    QTest::newRow("0666, more than the umask lets a new file have") << 0666u;
    QTest::newRow("0600, what the umask leaves") << 0600u;
}

void TestFileStore::keepsModeBits() {
    QFETCH(uint, mode);
    const mode_t previous = ::umask(022);
    const auto restore = qScopeGuard([&] { ::umask(previous); });
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    WriteFile(path, "old");
    QCOMPARE(::chmod(Native(path).constData(), mode), 0);
    PosixFileStore store;
    QCOMPARE(ReadAndSave(store, path, "new"), SaveOutcome::Saved);
    store.FinishSaves();
    QCOMPARE(ReadFile(path), QByteArray("new"));
    QCOMPARE(uint(StatOf(path).st_mode & 07777), mode);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"f"});
}

void TestFileStore::keepsOwnerAndGroup() {
    if (::geteuid() != 0) {
        QSKIP("giving a file to another owner needs root");
    }
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    WriteFile(path, "old");
    QCOMPARE(::chown(Native(path).constData(), 65534, 65534), 0);
    PosixFileStore store;
    QCOMPARE(ReadAndSave(store, path, "new"), SaveOutcome::Saved);
    QCOMPARE(StatOf(path).st_uid, uid_t(65534));
    QCOMPARE(StatOf(path).st_gid, gid_t(65534));
}

void TestFileStore::keepsExtendedAttributes() {
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    WriteFile(path, "old");
    if (::setxattr(Native(path).constData(), "user.origin", "scanner", 7, 0) != 0) {
        QSKIP("this file system has no user extended attributes");
    }
    PosixFileStore store;
    QCOMPARE(ReadAndSave(store, path, "new"), SaveOutcome::Saved);
    char value[32] = {};
    QCOMPARE(::getxattr(Native(path).constData(), "user.origin", value, sizeof value), 7);
    QCOMPARE(QByteArray(value), QByteArray("scanner"));
}

void TestFileStore::readOnlyEvenForRoot() {
    QTemporaryDir dir;
    const QString path = dir.filePath("f");
    WriteFile(path, "old");
    QCOMPARE(::chmod(Native(path).constData(), 0444), 0);
    PosixFileStore store;
    QCOMPARE(ReadAndSave(store, path, "new"), SaveOutcome::ReadOnly);
    QCOMPARE(ReadFile(path), QByteArray("old"));
}

void TestFileStore::symlinkChains_data() {
    QTest::addColumn<QString>("firstHop");
    QTest::newRow("relative into another folder") << "../other/target";
    QTest::newRow("absolute") << "";
}

void TestFileStore::symlinkChains() {
    QFETCH(QString, firstHop);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("files"));
    QVERIFY(QDir(dir.path()).mkpath("other"));
    const QString target = dir.filePath("other/target");
    WriteFile(target, "old");
    QVERIFY(QFile::link(firstHop.isEmpty() ? target : firstHop, dir.filePath("files/hop")));
    QVERIFY(QFile::link("hop", dir.filePath("files/link")));
    const ino_t inodeBefore = StatOf(target).st_ino;
    PosixFileStore store;
    QCOMPARE(ReadAndSave(store, dir.filePath("files/link"), "new"), SaveOutcome::Saved);
    store.FinishSaves();
    QCOMPARE(ReadFile(target), QByteArray("new"));
    QVERIFY(StatOf(target).st_ino != inodeBefore);
    QVERIFY(QFileInfo(dir.filePath("files/link")).isSymLink());
    QVERIFY(QFileInfo(dir.filePath("files/hop")).isSymLink());
    QCOMPARE(QDir(dir.filePath("other"))
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"target"});
}

// A file reached under a second name in the same run is not saved again (its text would be
// replaced twice); after FinishSaves, the next run saves it as usual.
void TestFileStore::savesAFileOncePerRun() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("f"), "old");
    QVERIFY(QFile::link("f", dir.filePath("link")));
    PosixFileStore store;
    QCOMPARE(ReadAndBeginSave(store, dir.filePath("f"), {"new"}), SaveOutcome::Pending);
    QCOMPARE(ReadAndBeginSave(store, dir.filePath("link"), {"newer"}), SaveOutcome::AlreadySaved);
    QCOMPARE(ReadAndBeginSave(store, dir.filePath("f"), {"newer"}), SaveOutcome::AlreadySaved);
    QCOMPARE(FinishInOrder(store), QList<SaveOutcome>{SaveOutcome::Saved});
    QCOMPARE(ReadFile(dir.filePath("f")), QByteArray("new"));
    QCOMPARE(ReadAndSave(store, dir.filePath("link"), "next run"), SaveOutcome::Saved);
    QCOMPARE(ReadFile(dir.filePath("f")), QByteArray("next run"));
}

// The store keeps the last file read open for its save; a save of a file read before it is of
// that file all the same.
void TestFileStore::savesAFileReadBeforeTheLast() {
    QTemporaryDir dir;
    WriteFile(dir.filePath("a"), "old a");
    WriteFile(dir.filePath("b"), "old b");
    PosixFileStore store;
    QByteArray a;
    QByteArray b;
    FileStamp stampA;
    FileStamp stampB;
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("a")), a, stampA), ReadOutcome::Read);
    QCOMPARE(store.ReadWholeFile(Native(dir.filePath("b")), b, stampB), ReadOutcome::Read);
    SaveTicket ticket = 0;
    QCOMPARE(store.BeginSave(Native(dir.filePath("a")), stampA, a, Pieces({"new a"}), ticket),
             SaveOutcome::Pending);
    QCOMPARE(store.BeginSave(Native(dir.filePath("b")), stampB, b, Pieces({"new b"}), ticket),
             SaveOutcome::Pending);
    QCOMPARE(FinishInOrder(store), (QList<SaveOutcome>{SaveOutcome::Saved, SaveOutcome::Saved}));
    QCOMPARE(ReadFile(dir.filePath("a")), QByteArray("new a"));
    QCOMPARE(ReadFile(dir.filePath("b")), QByteArray("new b"));
}

void TestFileStore::pendingSaveWritesEveryPiece_data() {
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<int>("oldMiB");  // the old file's size, which decides how the new is written
    QTest::addColumn<bool>("syncRangeRefused");
    QByteArrayList tiny;  // more pieces than one writev takes, gathered into few
    for (int i = 0; i < 5000; ++i) {
        tiny.append(QByteArray(1 + i % 3, char('a' + i % 26)));
    }
    QByteArrayList aroundGathering;  // small pieces gathered, large ones written in place
    for (const int size : {4095, 4096, 4097, 1, 300000, 7, 262144, 262145, 3}) {
        aroundGathering.append(QByteArray(size, char('A' + size % 26)));
    }
    // Past the size at which pieces are flushed and the disk is started on the file.
    const QByteArrayList large{"head ", QByteArray(20 << 20, 'x'), " mid ",
                               QByteArray(9 << 20, 'y'), " tail"};
    QTest::newRow("tiny pieces") << tiny << 0 << false;
    QTest::newRow("pieces around the gathering size") << aroundGathering << 0 << false;
    QTest::newRow("pieces past the flush size") << large << 0 << false;
    QTest::newRow("no piece: an empty file") << QByteArrayList() << 0 << false;
    // A large file is handed to a thread a buffer at a time, its last part in a buffer of its
    // own, and its pages are dropped from the cache behind the write.
    QTest::newRow("a large file, its pieces across buffers, a part of a buffer at the end")
        << (large + QByteArrayList{QByteArray(40 << 20, 'z'), QByteArray(4097, 'w')}) << 64
        << false;
    QTest::newRow("a large file of whole buffers")
        << QByteArrayList{QByteArray(16 << 20, 'b')} << 64 << false;
    QTest::newRow("a large file replaced by nothing") << QByteArrayList() << 64 << false;
    QTest::newRow("a large file where the system refuses to drop pages behind the write")
        << (large + QByteArrayList{QByteArray(40 << 20, 'z')}) << 64 << true;
}

void TestFileStore::pendingSaveWritesEveryPiece() {
    QFETCH(QByteArrayList, pieces);
    QFETCH(int, oldMiB);
    QFETCH(bool, syncRangeRefused);
#if defined(__SANITIZE_THREAD__)
    if (syncRangeRefused) {
        QSKIP("ThreadSanitizer cannot start threads in a child forked from threads");
    }
#endif
    QTemporaryDir dir;
    WriteFile(dir.filePath("f"), oldMiB > 0 ? QByteArray(oldMiB << 20, 'o') : "old");
    const auto save = [&] {
        PosixFileStore store;
        return ReadAndBeginSave(store, dir.filePath("f"), pieces) == SaveOutcome::Pending &&
               FinishInOrder(store) == QList<SaveOutcome>{SaveOutcome::Saved};
    };
    QVERIFY(syncRangeRefused ? SucceedsWithSyncFileRangeRefused(save) : save());
    QVERIFY(ReadFile(dir.filePath("f")) == pieces.join());
    QCOMPARE(Entries(dir.path()), QStringList{"f"});
}

// Saves left pending report in the order they began, also those that fail late; a second
// name of a file being saved is not saved again.
void TestFileStore::pendingSavesReportInOrder() {
    QTemporaryDir dir;
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(dir.filePath(name), "old");
    }
    QVERIFY(QFile::link("a", dir.filePath("link")));
    PosixFileStore store;
    store.SetBeforeRenameHook([&](const QByteArray& target) {
        if (target.endsWith("/b")) {
            WriteFile(QFile::decodeName(target), "theirs");
        }
    });
    for (const char* name : {"a", "b", "c"}) {
        QCOMPARE(ReadAndBeginSave(store, dir.filePath(name), {"new ", name}), SaveOutcome::Pending);
    }
    QCOMPARE(ReadAndBeginSave(store, dir.filePath("link"), {"newer"}), SaveOutcome::AlreadySaved);
    QCOMPARE(FinishInOrder(store),
             (QList<SaveOutcome>{SaveOutcome::Saved, SaveOutcome::ChangedByAnotherProgram,
                                 SaveOutcome::Saved}));
    QCOMPARE(ReadFile(dir.filePath("a")), QByteArray("new a"));
    QCOMPARE(ReadFile(dir.filePath("b")), QByteArray("theirs"));
    QCOMPARE(ReadFile(dir.filePath("c")), QByteArray("new c"));
    QCOMPARE(Entries(dir.path()), (QStringList{"a", "b", "c", "link"}));
    QCOMPARE(FinishInOrder(store), QList<SaveOutcome>());
}

// A run saves more files than the queue lets wait: each save waits for room, and every one is
// made and reported.
void TestFileStore::moreSavesThanTheQueueHolds() {
    QTemporaryDir dir;
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        WriteFile(dir.filePath(QString::number(i)), "old");
    }
    PosixFileStore store;
    for (int i = 0; i < kFiles; ++i) {
        QCOMPARE(ReadAndBeginSave(store, dir.filePath(QString::number(i)), {"new"}),
                 SaveOutcome::Pending);
    }
    QCOMPARE(FinishInOrder(store), QList<SaveOutcome>(kFiles, SaveOutcome::Saved));
    for (int i = 0; i < kFiles; ++i) {
        QCOMPARE(ReadFile(dir.filePath(QString::number(i))), QByteArray("new"));
    }
    QCOMPARE(Entries(dir.path()).size(), kFiles);
}

void TestFileStore::largeFileShortenedWhileRead_data() {
    QTest::addColumn<int>("mebibytes");
    QTest::newRow("8 MiB") << 8;
    // Its pages are read ahead of the save by a thread of their own, which meets the holes.
    QTest::newRow("64 MiB, read ahead") << 64;
}

// A large file is read through a mapping. Another program shortening it meanwhile neither ends
// this program nor gets a text with holes saved: the pages that went read as zeros, and a save
// that meets them is refused.
void TestFileStore::largeFileShortenedWhileRead() {
    QFETCH(int, mebibytes);
#if defined(__SANITIZE_THREAD__)
    if (mebibytes > 8) {
        QSKIP("ThreadSanitizer takes the page of zeros put in place of a hole for a racing write");
    }
#endif
    QTemporaryDir dir;
    const QString path = dir.filePath("big");
    QByteArray big(mebibytes << 20, 'n');
    big.replace(big.size() - 6, 6, "needle");
    WriteFile(path, big);
    PosixFileStore store;
    QByteArray content;
    FileStamp stamp;
    QCOMPARE(store.ReadWholeFile(Native(path), content, stamp), ReadOutcome::Read);
    QVERIFY(content == big);

    // Shortened after the save's first look at the file, while it writes the new text.
    class ShortenFirst : public NewContent {
    public:
        ShortenFirst(const QString& path, QByteArrayView content)
            : path_(path), content_(content) {}
        bool WriteTo(const std::function<bool(QByteArrayView)>& write) const override {
            QFile(path_).resize(4096);
            return write(content_);
        }

    private:
        QString path_;
        QByteArrayView content_;
    };
    SaveTicket ticket = 0;
    QCOMPARE(store.BeginSave(Native(path), stamp, content, ShortenFirst(path, content), ticket),
             SaveOutcome::ChangedByAnotherProgram);
    QCOMPARE(content.right(6), QByteArray(6, '\0'));
    // The zeros are not the file's own: a run does not call it binary for them.
    QVERIFY(store.LastReadDamaged());
    QCOMPARE(ReadFile(path), big.left(4096));
    QCOMPARE(Entries(dir.path()), QStringList{"big"});
    QCOMPARE(FinishInOrder(store), QList<SaveOutcome>());
}

enum class Writer {
    HoldsItOpen,
    HoldsAFlock,
    HoldsARecordLock,
    OpensItBeforeTheRename,
    LocksItBeforeTheRename
};

void TestFileStore::fileOtherProgramsWriteIsLeftAlone_data() {
    QTest::addColumn<Writer>("writer");
    QTest::addColumn<SaveOutcome>("begun");
    // Only the lease, taken when the save decides, tells a writer that holds no lock.
    QTest::newRow("open for writing") << Writer::HoldsItOpen << SaveOutcome::Pending;
    QTest::newRow("under an exclusive flock") << Writer::HoldsAFlock << SaveOutcome::InUse;
    QTest::newRow("under a record write lock") << Writer::HoldsARecordLock << SaveOutcome::InUse;
    QTest::newRow("opened for writing after the read")
        << Writer::OpensItBeforeTheRename << SaveOutcome::Pending;
    // The locks are not looked at again under the lease: the lease must tell this one.
    QTest::newRow("under a record write lock taken after the read")
        << Writer::LocksItBeforeTheRename << SaveOutcome::Pending;
}

// Another program writing the file, or about to, keeps it: the save leaves it alone as in use,
// and what that program writes lands in the file.
void TestFileStore::fileOtherProgramsWriteIsLeftAlone() {
    QFETCH(Writer, writer);
    QFETCH(SaveOutcome, begun);
    QTemporaryDir dir;
    const QString path = dir.filePath("log");
    WriteFile(path, "old\n");
    int theirs = -1;
    const auto openForWriting = [&] {
        theirs = ::open(Native(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        QVERIFY(theirs >= 0);
    };
    const auto lock = [&] {
        theirs = ::open(Native(path).constData(), O_RDWR | O_APPEND | O_CLOEXEC);
        struct flock recordLock {};
        recordLock.l_type = F_WRLCK;
        recordLock.l_whence = SEEK_SET;
        QCOMPARE(::fcntl(theirs, F_OFD_SETLK, &recordLock), 0);
    };
    PosixFileStore store;
    switch (writer) {
        case Writer::HoldsItOpen:
            openForWriting();
            break;
        case Writer::HoldsAFlock:
            theirs = ::open(Native(path).constData(), O_RDONLY | O_CLOEXEC);
            QCOMPARE(::flock(theirs, LOCK_EX), 0);
            break;
        case Writer::HoldsARecordLock:
            lock();
            break;
        case Writer::OpensItBeforeTheRename:
            store.SetBeforeRenameHook([&](const QByteArray&) { openForWriting(); });
            break;
        case Writer::LocksItBeforeTheRename:
            store.SetBeforeRenameHook([&](const QByteArray&) { lock(); });
            break;
    }
    QCOMPARE(ReadAndBeginSave(store, path, {"new\n"}), begun);
    const QList<SaveOutcome> finished = FinishInOrder(store);
    QCOMPARE(finished, begun == SaveOutcome::Pending ? QList<SaveOutcome>{SaveOutcome::InUse}
                                                     : QList<SaveOutcome>());
    // What the other program writes after the run still lands in the file.
    if (writer != Writer::HoldsAFlock) {
        QCOMPARE(::write(theirs, "theirs\n", 7), ssize_t(7));
    }
    ::close(theirs);
    QCOMPARE(ReadFile(path),
             writer == Writer::HoldsAFlock ? QByteArray("old\n") : QByteArray("old\ntheirs\n"));
    QCOMPARE(Entries(dir.path()), QStringList{"log"});
}

QTEST_GUILESS_MAIN(TestFileStore)
#include "tst_filestore.moc"
