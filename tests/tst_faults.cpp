// SPDX-License-Identifier: GPL-3.0-or-later
// Faults a run must survive without damage. Every case checks that each file is wholly its old
// or its intended new content, that nothing else (no temporary file) is in the folder, and that
// every file left alone is reported with its reason.

#include "batchrun.h"
#include "fakes.h"
#include "folderlist.h"
#include "heldfolder.h"
#include "mappedfile.h"
#include "mountedimage.h"
#include "posixfilestore.h"
#include "runreport.h"
#include "summary.h"
#include "undolastreplace.h"
#include "undorecord.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#ifndef QUILLMARK_FAULT_CHILD
#error "QUILLMARK_FAULT_CHILD must name the fault_child program"
#endif

namespace {

const QByteArray kFind = "needle";
const QByteArray kReplacement = "thread";

bool IsRoot() {
    return ::geteuid() == 0;
}

QByteArray Join(const QByteArray& folder, const QByteArray& name) {
    return folder + '/' + name;
}

// A name or text with control bytes, non-ASCII bytes and '%' escaped, for messages.
QString Show(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toPercentEncoding(" !\"#$&'()*+,-./:;<=>?@[\\]^_`{|}~"));
}

QString Show(const QByteArrayList& names) {
    QStringList shown;
    for (const QByteArray& name : names) {
        shown << Show(name);
    }
    return shown.join(QStringLiteral(", "));
}

// Writes content to path with exactly mode; false on any failure.
bool WriteRaw(const QByteArray& path, const QByteArray& content, mode_t mode = 0644) {
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const char* data = content.constData();
    qsizetype left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, std::size_t(left));
        if (n <= 0) {
            ::close(fd);
            return false;
        }
        data += n;
        left -= n;
    }
    const bool ok = ::fchmod(fd, mode) == 0;
    return ::close(fd) == 0 && ok;
}

// The whole content of path, or nullopt when it cannot be read.
std::optional<QByteArray> ReadRaw(const QByteArray& path) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return std::nullopt;
    }
    QByteArray content;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, n);
    }
    ::close(fd);
    if (n < 0) {
        return std::nullopt;
    }
    return content;
}

struct stat StatOf(const QByteArray& path) {
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0) {
        st.st_ino = 0;
    }
    return st;
}

// Every extended attribute of path (following symlinks), name to value.
QMap<QByteArray, QByteArray> ExtendedAttributes(const QByteArray& path) {
    QMap<QByteArray, QByteArray> attributes;
    char names[4096];
    const ssize_t size = ::listxattr(path.constData(), names, sizeof names);
    for (const char* name = names; size > 0 && name < names + size; name += qstrlen(name) + 1) {
        char value[4096];
        const ssize_t length = ::getxattr(path.constData(), name, value, sizeof value);
        attributes.insert(name,
                          length < 0 ? QByteArray("<unreadable>") : QByteArray(value, length));
    }
    return attributes;
}

uid_t NobodyUid() {
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : uid_t(65534);
}

gid_t NogroupGid() {
    const group* entry = ::getgrnam("nogroup");
    return entry ? entry->gr_gid : gid_t(65534);
}

// Where scratch folders go: /tmp when running as root, so that an unprivileged child can
// reach them wherever the tests were built; the usual temporary folder otherwise.
QByteArray ScratchBase() {
    if (IsRoot()) {
        return "/tmp";
    }
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? QByteArray(tmp) : QByteArray("/tmp");
}

int MakeRemovable(const char* path, const struct stat* st, int type, FTW*) {
    if (type == FTW_D || type == FTW_DNR) {
        ::chmod(path, (st->st_mode & 07777) | S_IRWXU);
    }
    return 0;
}

int RemoveEntry(const char* path, const struct stat*, int, FTW*) {
    ::remove(path);
    return 0;
}

// A fresh folder, given mode 0755, removed with all it holds whatever modes and names it
// was given.
class Scratch {
public:
    Scratch() : path_(ScratchBase() + "/quillmark-faults-XXXXXX") {
        if (::mkdtemp(path_.data()) == nullptr || ::chmod(path_.constData(), 0755) != 0) {
            qFatal("cannot make a scratch folder under %s", ScratchBase().constData());
        }
    }
    ~Scratch() {
        ::nftw(path_.constData(), MakeRemovable, 32, FTW_PHYS);
        ::nftw(path_.constData(), RemoveEntry, 32, FTW_PHYS | FTW_DEPTH);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    const QByteArray& Path() const { return path_; }
    QByteArray operator/(const QByteArray& name) const { return Join(path_, name); }
    // Makes folder name in the scratch folder and returns its path.
    QByteArray Folder(const QByteArray& name, mode_t mode = 0755) const {
        const QByteArray path = Join(path_, name);
        ::mkdir(path.constData(), 0700);
        ::chmod(path.constData(), mode);
        return path;
    }

private:
    QByteArray path_;
};

// What a run must leave of one entry of a folder.
struct Want {
    QByteArray name;
    std::optional<QByteArray> content;  // read through the entry afterwards; unset: not read
    std::optional<LeftReason> reason;   // the reason it is reported with; unset: not reported
    bool counted = false;               // counted as altered (or found) and in the found list
    bool listed = true;                 // the run's list holds it
};

Want Saved(const QByteArray& name, const QByteArray& content) {
    return {name, content, {}, true};
}
Want Untouched(const QByteArray& name, const QByteArray& content) {
    return {name, content, {}, false};
}
Want Left(const QByteArray& name, const std::optional<QByteArray>& content,
          const LeftReason& reason) {
    return {name, content, reason, false};
}
// An entry the run's list does not show (a link's hop, a second hard link).
Want Unlisted(const QByteArray& name, const std::optional<QByteArray>& content = std::nullopt) {
    return {name, content, {}, false, false};
}

QStringList Described(const QList<LeftUnchanged>& left) {
    QStringList lines;
    for (const LeftUnchanged& file : left) {
        lines << Show(file.name) + QStringLiteral(" (") + ReasonText(file.reason) +
                     QStringLiteral(")");
    }
    return lines;
}

// Checks the folder and the run's results against wants: exactly the wanted entries, each
// with its wanted content, the counted ones reported as hits in list order and the others
// named with their reasons.
void Verify(const QByteArray& folder, QList<Want> wants, const RunResults& results) {
    std::sort(wants.begin(), wants.end(),
              [](const Want& a, const Want& b) { return a.name < b.name; });
    QByteArrayList names;
    QByteArrayList counted;
    QList<LeftUnchanged> left;
    int listed = 0;
    QString foundList = QStringLiteral("\r\n");
    for (const Want& want : std::as_const(wants)) {
        names << want.name;
        listed += want.listed ? 1 : 0;
        if (want.listed && want.counted) {
            counted << want.name;
            foundList += QString::fromUtf8(want.name) + QStringLiteral("\r\n");
        }
        if (want.listed && want.reason) {
            left.append({want.name, *want.reason});
        }
    }
    QCOMPARE(Show(FolderEntries(folder)), Show(names));
    for (const Want& want : std::as_const(wants)) {
        if (want.content) {
            const std::optional<QByteArray> content = ReadRaw(Join(folder, want.name));
            QVERIFY2(content, qPrintable(Show(want.name) + QStringLiteral(" cannot be read")));
            QVERIFY2(
                *content == *want.content,
                qPrintable(Show(want.name) + QStringLiteral(" holds ") + Show(content->left(80)) +
                           QStringLiteral(", wanted ") + Show(want.content->left(80))));
        }
    }
    QCOMPARE(Described(results.leftUnchanged), Described(left));
    QCOMPARE(Show(results.foundNames), Show(counted));
    QCOMPARE(results.FilesAffected, qint32(counted.size()));
    QCOMPARE(results.FilesProcessed, qint32(listed));
    QCOMPARE(FoundList(results), foundList);
}

// Runs the engine here over the entries of folder that match patterns, holding the folder
// from the listing on as the programs do.
RunResults RunHere(const QByteArray& folder, PosixFileStore& store, bool findOnly = false,
                   const QByteArrayList& patterns = {"*"},
                   const QByteArray& replacement = kReplacement, RunObserver* observer = nullptr,
                   const QByteArray& find = kFind) {
    RunRequest request = Texts(find, replacement);
    request.findOnly = findOnly;
    FolderFileList list(folder, patterns);
    QString error;
    store.HoldFolder(HeldFolder::Open(folder, error));
    RunEnvironment env{store, observer};
    RunResults results;
    ProcessFileList(env, list, request, results);
    return results;
}

RunResults RunHere(const QByteArray& folder, bool findOnly = false,
                   const QByteArrayList& patterns = {"*"},
                   const QByteArray& replacement = kReplacement) {
    PosixFileStore store;
    return RunHere(folder, store, findOnly, patterns, replacement);
}

// Replaces find by replacement in every file of folder, noting in undo what it changes.
RunResults ReplaceNotingUndo(const QByteArray& folder, UndoRecord& undo, const QByteArray& find,
                             const QByteArray& replacement) {
    RunRequest request = Texts(find, replacement);
    request.caseSensitive = true;
    PosixFileStore store;
    FolderFileList list(folder);
    RunEnvironment env{store, nullptr, &undo};
    RunResults results;
    ProcessFileList(env, list, request, results);
    return results;
}

// Undoes the replace noted in undo.
RunResults UndoHere(UndoRecord& undo) {
    PosixFileStore store;
    RunEnvironment env{store};
    RunResults results;
    UndoLastReplace(env, undo, results);
    return results;
}

// Text of about size bytes in lines, with the search text now and then.
QByteArray Text(qsizetype size, int seed) {
    QByteArray text;
    text.reserve(size + 100);
    QRandomGenerator random{quint32(seed)};
    while (text.size() < size) {
        text += random.bounded(8) == 0 ? "a needle in line " : "plain words in line ";
        text += QByteArray::number(text.size()) + '\n';
    }
    return text;
}

QByteArray Replaced(const QByteArray& text) {
    return QByteArray(text).replace(kFind, kReplacement);
}

// Starts a process that holds an exclusive flock on path until it is killed; false when it
// could not take the lock. The caller kills it.
bool LockElsewhere(QProcess& locker, const QByteArray& path) {
    locker.start("sh", {"-c", "exec 9<\"$1\" && flock -x 9 && echo locked && exec sleep 600", "sh",
                        QFile::decodeName(path)});
    return locker.waitForReadyRead(-1) && locker.readAllStandardOutput() == "locked\n";
}

// Whether a lease is being broken on this machine: a program's open waits for its holder.
bool LeaseBreaking() {
    return ReadRaw("/proc/locks").value_or(QByteArray()).contains("BREAKING");
}

// Replaces back and forth in busy, 300 times, while another thread opens it, appends a
// numbered line and closes it again every millisecond: after each replace every line the
// writer has finished is in the file, in order, whatever the replace reported.
void AppendThroughReplaces(const QByteArray& files, const QByteArray& busy) {
    std::atomic<int> finished = 0;
    std::atomic<bool> stop = false;
    std::jthread writer([&] {
        for (int line = 0; !stop; ++line) {
            const int fd = ::open(busy.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
            const QByteArray text = "line " + QByteArray::number(line) + '\n';
            if (fd < 0 || ::write(fd, text.constData(), std::size_t(text.size())) != text.size()) {
                qFatal("the writer could not append");
            }
            ::close(fd);
            finished = line + 1;
            QThread::usleep(1000);
        }
    });
    const auto stopWriter = qScopeGuard([&] { stop = true; });
    QMap<QString, int> outcomes;
    for (int run = 0; run < 300; ++run) {
        PosixFileStore store;
        const bool back = run % 2 == 1;
        const RunResults results =
            RunHere(files, store, false, {"busy.txt"}, back ? kFind : kReplacement, nullptr,
                    back ? kReplacement : kFind);
        const int written = finished;
        const QByteArray content = ReadRaw(busy).value_or(QByteArray());
        QByteArrayList lines = content.split('\n');
        const bool altered = results.FilesAffected == 1;
        outcomes[altered ? QStringLiteral("altered")
                         : Described(results.leftUnchanged).join(',')]++;
        for (int line = 0; line < written; ++line) {
            const QByteArray want = "line " + QByteArray::number(line);
            QVERIFY2(line + 1 < lines.size() && lines[line + 1] == want,
                     qPrintable(QStringLiteral("after replace %1, %2 line %3 of %4 is lost")
                                    .arg(run)
                                    .arg(altered ? "altered," : "left alone,")
                                    .arg(line)
                                    .arg(written)));
        }
    }
    qInfo() << "the replaces ended so:" << outcomes;
}

// Whether process pid has a handler of its own for signal.
bool Catches(qint64 pid, int signal) {
    const QByteArray status =
        ReadRaw("/proc/" + QByteArray::number(pid) + "/status").value_or(QByteArray());
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("SigCgt:")) {
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
        }
    }
    return false;
}

enum class Permission {
    FolderNotWritable,
    ReadOnlyFile,
    FileOfAnotherUser,
    FileOfAnotherUserWritableByAll,
    FileWithoutReadBits,
    StickyFolderOfAnotherUser,
    SymlinkOfAnotherUserInAStickyFolder,
    SymlinkOfAnotherUserInTheirFolder,
};

enum class Link {
    RelativeChain,
    AbsoluteChain,
    ChainIntoAnotherFolder,
    Dangling,
    Loop,
    HardLinked,
    SymlinkToHardLinked,
    Fifo,
    Folder,
    SymlinkToFolder,
    SymlinkToDevice,
    LinkAndTargetBothListed,
    LinkListedLongAfterItsTarget,
};

enum class Metadata {
    Mode0640,
    Mode2755,
    Mode1644,
    Mode6755OfAnotherOwner,
    AnotherOwnerAndGroup,
    UserAttribute,
    AccessControlList,
    NoAccessControlListInAFolderWithADefaultOne,
};

enum class OtherProgram {
    Appends,
    RewritesSameSize,
    RewritesSameSizeAndPutsTimesBack,
    ReplacesThroughRename,
    Deletes,
    MakesReadOnly,
    AddsHardLink,
    Truncates,
    MovesTheFolderAwayForALink,
};

enum class InUse {
    HeldOpenForWriting,
    LockedByAnotherProcess,
    OpenedForWritingAfterTheRead,
    OpensAppendsAndClosesThroughReplaces,
};

}  // namespace

Q_DECLARE_METATYPE(LeftReason)
Q_DECLARE_METATYPE(Permission)
Q_DECLARE_METATYPE(Link)
Q_DECLARE_METATYPE(Metadata)
Q_DECLARE_METATYPE(OtherProgram)
Q_DECLARE_METATYPE(InUse)

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void shortWrites_data();
    void shortWrites();
    void permissions_data();
    void permissions();
    void linksAndSpecialFiles_data();
    void linksAndSpecialFiles();
    void metadataKept_data();
    void metadataKept();
    void changedBetweenReadAndSave_data();
    void changedBetweenReadAndSave();
    void inUseByAnotherProgram_data();
    void inUseByAnotherProgram();
    void savedByAnEditorBetweenTwoFiles();
    void folderForbidsRenames_data();
    void folderForbidsRenames();
    void staleTemporaryFiles_data();
    void staleTemporaryFiles();
    void killedAtRandomMoments_data();
    void killedAtRandomMoments();
    void longFolderPath();
    void awkwardNames_data();
    void awkwardNames();
    void hundredThousandFiles();
    void oneGibibyteFile();

private:
    // Runs the engine over folder in a child process, unprivileged or as this process's user,
    // and checks that the child really ran as that user.
    void RunChild(const QByteArray& folder, bool unprivileged, RunResults& results,
                  bool findOnly = false);

    std::unique_ptr<Scratch> tools_;
    QByteArray child_;
};

void TestFaults::initTestCase() {
    QVERIFY(MappedFile::InstallBusErrorHandler());
    // The child program is copied where an unprivileged user can run it: the build folder may
    // lie under a home folder that user cannot enter.
    tools_ = std::make_unique<Scratch>();
    child_ = *tools_ / "fault_child";
    const std::optional<QByteArray> program = ReadRaw(QUILLMARK_FAULT_CHILD);
    QVERIFY2(program, QUILLMARK_FAULT_CHILD);
    QVERIFY(WriteRaw(child_, *program, 0755));
}

void TestFaults::cleanupTestCase() {
    tools_.reset();
}

void TestFaults::RunChild(const QByteArray& folder, bool unprivileged, RunResults& results,
                          bool findOnly) {
    QProcess process;
    process.setWorkingDirectory(QFile::decodeName(folder));
    QStringList arguments{QFile::decodeName(child_), QFile::decodeName(folder),
                          QString::fromUtf8(kFind), QString::fromUtf8(kReplacement)};
    if (findOnly) {
        arguments << QStringLiteral("find");
    }
    QString program = arguments.takeFirst();
    if (unprivileged && IsRoot()) {
        arguments.prepend(program);
        arguments = QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                "--inh-caps=-all", "--"} +
                    arguments;
        program = QStringLiteral("setpriv");
    }
    process.start(program, arguments);
    QVERIFY2(process.waitForFinished(-1), qPrintable(program));
    const QByteArray errors = process.readAllStandardError();
    QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
             errors.constData());
    RunIdentity who;
    QVERIFY2(DecodeReport(process.readAllStandardOutput(), who, results), errors.constData());

    if (!unprivileged || !IsRoot()) {
        QCOMPARE(who.effectiveUid, qint64(::geteuid()));
        return;
    }
    // Root's rights must not leak into the unprivileged run.
    QCOMPARE(who.realUid, qint64(NobodyUid()));
    QCOMPARE(who.effectiveUid, qint64(NobodyUid()));
    QCOMPARE(who.realGid, qint64(NogroupGid()));
    QCOMPARE(who.effectiveGid, qint64(NogroupGid()));
    for (const qint64 group : std::as_const(who.groups)) {
        QCOMPARE(group, qint64(NogroupGid()));
    }
    QCOMPARE(who.effectiveCapabilities, QByteArray("0000000000000000"));
}

void TestFaults::shortWrites_data() {
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("undoing");
    const QList<std::pair<const char*, qint64>> limits{
        {"no byte may be written", 0},
        {"one byte", 1},
        {"one byte short of the smallest file", 5},
        {"exactly the smallest file", 6},
        {"a page less one", 4095},
        {"a page", 4096},
        {"a page and one", 4097},
        {"one byte short of the 3 MiB file", 3 * 1024 * 1024 + 99},
        {"exactly the 3 MiB file", 3 * 1024 * 1024 + 100},
        // The largest file is handed to a thread to write, in buffers of 8 MiB.
        {"within the largest file's second buffer", 12 * 1024 * 1024 + 1},
        {"one byte short of the largest file", 64 * 1024 * 1024 + 99},
        {"exactly the largest file", 64 * 1024 * 1024 + 100},
    };
    for (const bool undoing : {false, true}) {
        for (const auto& [name, limit] : limits) {
            QTest::newRow(undoing ? qPrintable(QStringLiteral("undo, ") + QLatin1String(name))
                                  : name)
                << limit << undoing;
        }
    }
}

// A write cut short by the file-size limit (SIGXFSZ ignored, so write returns EFBIG or a short
// count) must leave the original and no temporary file; files within the limit are saved. An
// undo so cut short leaves a file as the replace left it, and restores those within the limit.
void TestFaults::shortWrites() {
    QFETCH(qint64, limit);
    QFETCH(bool, undoing);
    Scratch scratch;
    // Sizes 6, 4095, 4096, 4097, 3 MiB + 100 and 64 MiB + 100 are what the limited run writes:
    // a run grows each file by one byte; an undo puts back the byte its replace took away.
    const QList<qsizetype> sizes{
        6, 4095, 4096, 4097, 3 * 1024 * 1024 + 100, 64 * 1024 * 1024 + 100};
    QList<Want> wants;
    int restored = 0;
    for (const qsizetype size : sizes) {
        const QByteArray name = "size-" + QByteArray::number(size);
        const QByteArray shorter = "needl" + QByteArray(size - 6, 'x');
        const QByteArray longer = "thread" + QByteArray(size - 6, 'x');
        QVERIFY(WriteRaw(scratch / name, undoing ? longer : shorter));
        wants << (size <= limit ? Saved(name, longer)
                                : Left(name, shorter, Reason::CouldNotBeWritten));
        restored += size <= limit ? 1 : 0;
    }
    UndoRecord undo;
    if (undoing) {
        QCOMPARE(ReplaceNotingUndo(scratch.Path(), undo, "thread", "needl").FilesAffected,
                 qint32(sizes.size()));
    }

    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = rlim_t(limit);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    RunRequest request = Texts("needl", "thread");
    request.caseSensitive = true;
    PosixFileStore store;
    FolderFileList list(scratch.Path());
    RunEnvironment env{store};
    RunResults results;
    if (undoing) {
        UndoLastReplace(env, undo, results);
    } else {
        ProcessFileList(env, list, request, results);
    }
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);

    Verify(scratch.Path(), wants, results);
    if (undoing) {
        QVERIFY(BuildUndoSummary(results).contains(
            QStringLiteral("%1 of %2 altered files were restored:")
                .arg(restored)
                .arg(sizes.size())));
    }
}

void TestFaults::permissions_data() {
    QTest::addColumn<Permission>("permission");
    QTest::addColumn<bool>("unprivileged");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<LeftReason>("reason");

    // Root may replace the entries of a folder it cannot write, the file itself being
    // writable; another user may not.
    QTest::newRow("folder not writable, as root")
        << Permission::FolderNotWritable << false << true << LeftReason();
    QTest::newRow("folder not writable, unprivileged")
        << Permission::FolderNotWritable << true << false << Reason::CouldNotBeWritten;
    // A rename would get around a missing write bit: root must check it too.
    QTest::newRow("read-only file, as root")
        << Permission::ReadOnlyFile << false << false << Reason::ReadOnly;
    QTest::newRow("read-only file, unprivileged")
        << Permission::ReadOnlyFile << true << false << Reason::ReadOnly;
    QTest::newRow("file of another user, as root")
        << Permission::FileOfAnotherUser << false << true << LeftReason();
    QTest::newRow("file of another user, unprivileged")
        << Permission::FileOfAnotherUser << true << false << Reason::ReadOnly;
    // Another user's file that anyone may write: a save would give it to the one who saved.
    QTest::newRow("file of another user writable by all, as root")
        << Permission::FileOfAnotherUserWritableByAll << false << true << LeftReason();
    QTest::newRow("file of another user writable by all, unprivileged")
        << Permission::FileOfAnotherUserWritableByAll << true << false << Reason::CouldNotBeWritten;
    QTest::newRow("file without read bits, as root")
        << Permission::FileWithoutReadBits << false << true << LeftReason();
    QTest::newRow("file without read bits, unprivileged")
        << Permission::FileWithoutReadBits << true << false << Reason::CouldNotBeRead;
    QTest::newRow("another user's file in a sticky folder, as root")
        << Permission::StickyFolderOfAnotherUser << false << true << LeftReason();
    QTest::newRow("another user's file in a sticky folder, unprivileged")
        << Permission::StickyFolderOfAnotherUser << true << false << Reason::CouldNotBeWritten;
    // A symlink another user planted, to a file of the runner's that user may not write.
    QTest::newRow("another user's symlink in a sticky folder, as root")
        << Permission::SymlinkOfAnotherUserInAStickyFolder << false << false
        << Reason::LinkOfAnotherUser;
    QTest::newRow("another user's symlink in a sticky folder, unprivileged")
        << Permission::SymlinkOfAnotherUserInAStickyFolder << true << false
        << Reason::LinkOfAnotherUser;
    QTest::newRow("another user's symlink in a folder of theirs, as root")
        << Permission::SymlinkOfAnotherUserInTheirFolder << false << false
        << Reason::LinkOfAnotherUser;
}

// The same folders, run by root and by an unprivileged user in a child process: root's rights
// must not hide a check that an ordinary user's lack of rights would make for it.
void TestFaults::permissions() {
    QFETCH(Permission, permission);
    QFETCH(bool, unprivileged);
    QFETCH(bool, saved);
    QFETCH(LeftReason, reason);
    if (!unprivileged && !IsRoot()) {
        QSKIP("the root runs need root");
    }
    const bool symlinked = permission == Permission::SymlinkOfAnotherUserInAStickyFolder ||
                           permission == Permission::SymlinkOfAnotherUserInTheirFolder;
    const bool needsOtherUser = permission == Permission::FileOfAnotherUser ||
                                permission == Permission::FileOfAnotherUserWritableByAll ||
                                permission == Permission::StickyFolderOfAnotherUser || symlinked;
    if (needsOtherUser && !IsRoot()) {
        QSKIP("making a file of another user needs root");
    }
    // The runner owns the folder and its ordinary files; "other" is someone else.
    const uid_t runner = unprivileged && IsRoot() ? NobodyUid() : ::geteuid();
    const gid_t runnerGroup = unprivileged && IsRoot() ? NogroupGid() : ::getegid();
    const uid_t other = runner == 0 ? NobodyUid() : 0;
    const gid_t otherGroup = runner == 0 ? NogroupGid() : 0;

    Scratch scratch;
    const QByteArray folder = scratch.Folder("files");
    const QByteArray old = "one needle\n";
    const QByteArray path = Join(folder, "f.txt");
    QVERIFY(WriteRaw(path, old));
    mode_t fileMode = 0644;
    mode_t folderMode = 0755;
    uid_t fileOwner = runner;
    gid_t fileGroup = runnerGroup;
    uid_t folderOwner = runner;
    gid_t folderGroup = runnerGroup;
    switch (permission) {
        case Permission::FolderNotWritable:
            folderMode = 0555;
            break;
        case Permission::ReadOnlyFile:
            fileMode = 0444;
            break;
        case Permission::FileOfAnotherUser:
            fileOwner = other;
            fileGroup = otherGroup;
            break;
        case Permission::FileOfAnotherUserWritableByAll:
            fileOwner = other;
            fileGroup = otherGroup;
            fileMode = 0666;
            break;
        case Permission::FileWithoutReadBits:
            fileMode = 0200;
            break;
        case Permission::StickyFolderOfAnotherUser:
            folderOwner = other;
            folderGroup = otherGroup;
            folderMode = 01777;
            fileOwner = other;
            fileGroup = otherGroup;
            fileMode = 0666;
            break;
        case Permission::SymlinkOfAnotherUserInAStickyFolder:
            folderMode = 01777;
            break;
        case Permission::SymlinkOfAnotherUserInTheirFolder:
            folderOwner = other;
            folderGroup = otherGroup;
            break;
    }
    // A file the runner may change, beside the case, shows that the run could save at all.
    const bool control = folderMode != 0555;
    if (control) {
        QVERIFY(WriteRaw(Join(folder, "control.txt"), old));
        QCOMPARE(::chown(Join(folder, "control.txt").constData(), runner, runnerGroup), 0);
    }
    QCOMPARE(::chown(path.constData(), fileOwner, fileGroup), 0);
    QCOMPARE(::chmod(path.constData(), fileMode), 0);
    if (symlinked) {
        const QByteArray target = scratch / "target.txt";
        QCOMPARE(::rename(path.constData(), target.constData()), 0);
        QCOMPARE(::symlink(target.constData(), path.constData()), 0);
        QCOMPARE(::lchown(path.constData(), other, otherGroup), 0);
    }
    QCOMPARE(::chown(folder.constData(), folderOwner, folderGroup), 0);
    QCOMPARE(::chmod(folder.constData(), folderMode), 0);
    const struct stat before = StatOf(path);

    RunResults results;
    RunChild(folder, unprivileged, results);
    if (QTest::currentTestFailed()) {
        return;
    }

    QList<Want> wants{saved ? Saved("f.txt", "one thread\n") : Left("f.txt", std::nullopt, reason)};
    if (control) {
        wants << Saved("control.txt", "one thread\n");
    }
    if (!saved) {
        QCOMPARE(StatOf(path).st_ino, before.st_ino);
        if (IsRoot() || permission != Permission::FileWithoutReadBits) {
            QCOMPARE(ReadRaw(path).value_or("<unreadable>"), old);
        }
    }
    Verify(folder, wants, results);
    const struct stat after = StatOf(path);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(after.st_mode, before.st_mode);
}

void TestFaults::linksAndSpecialFiles_data() {
    QTest::addColumn<Link>("link");
    QTest::newRow("relative symlink chain: target rewritten, links kept") << Link::RelativeChain;
    QTest::newRow("absolute symlink chain") << Link::AbsoluteChain;
    QTest::newRow("symlink chain into another folder") << Link::ChainIntoAnotherFolder;
    QTest::newRow("dangling symlink") << Link::Dangling;
    QTest::newRow("symlink loop") << Link::Loop;
    QTest::newRow("hard-linked file") << Link::HardLinked;
    QTest::newRow("symlink to a hard-linked file") << Link::SymlinkToHardLinked;
    QTest::newRow("fifo") << Link::Fifo;
    QTest::newRow("folder") << Link::Folder;
    QTest::newRow("symlink to a folder") << Link::SymlinkToFolder;
    QTest::newRow("symlink to a device") << Link::SymlinkToDevice;
    QTest::newRow("symlink and its target both listed, replacement holds the search text")
        << Link::LinkAndTargetBothListed;
    QTest::newRow("symlink listed 500 entries after its target, read once the target is saved")
        << Link::LinkListedLongAfterItsTarget;
}

// Entries named like the files the filter asks for ("*.txt") that are symlinks, hard links
// or no regular files. Replace mode, then find mode over the same folder.
void TestFaults::linksAndSpecialFiles() {
    QFETCH(Link, link);
    Scratch scratch;
    const QByteArray files = scratch.Folder("files");
    const QByteArray other = scratch.Folder("other");
    const QByteArray old = "a needle\n";
    const QByteArray replaced = "a thread\n";
    QByteArray replacement = kReplacement;
    QList<Want> wants;
    QList<Want> otherWants;
    QList<Want> found;  // find mode
    const auto symlink = [](const QByteArray& to, const QByteArray& at) {
        QCOMPARE(::symlink(to.constData(), at.constData()), 0);
    };
    switch (link) {
        case Link::RelativeChain:
            QVERIFY(WriteRaw(Join(files, "real"), old));
            symlink("hop", Join(files, "link.txt"));
            symlink("./real", Join(files, "hop"));
            wants << Saved("link.txt", replaced) << Unlisted("hop") << Unlisted("real", replaced);
            found << Saved("link.txt", old) << Unlisted("hop") << Unlisted("real", old);
            break;
        case Link::AbsoluteChain:
            QVERIFY(WriteRaw(Join(files, "real"), old));
            symlink(Join(files, "hop"), Join(files, "link.txt"));
            symlink(Join(files, "real"), Join(files, "hop"));
            wants << Saved("link.txt", replaced) << Unlisted("hop") << Unlisted("real", replaced);
            found << Saved("link.txt", old) << Unlisted("hop") << Unlisted("real", old);
            break;
        case Link::ChainIntoAnotherFolder:
            QVERIFY(WriteRaw(Join(other, "real"), old));
            symlink("../other/hop", Join(files, "link.txt"));
            symlink(Join(other, "real"), Join(other, "hop"));
            wants << Saved("link.txt", replaced);
            otherWants << Unlisted("hop") << Unlisted("real", replaced);
            found << Saved("link.txt", old);
            break;
        case Link::Dangling:
            symlink("missing", Join(files, "dangling.txt"));
            wants << Left("dangling.txt", std::nullopt, Reason::CouldNotBeRead);
            found = wants;
            break;
        case Link::Loop:
            symlink("loop2", Join(files, "loop.txt"));
            symlink("loop.txt", Join(files, "loop2"));
            wants << Left("loop.txt", std::nullopt, Reason::CouldNotBeRead) << Unlisted("loop2");
            found = wants;
            break;
        case Link::HardLinked:
            QVERIFY(WriteRaw(Join(files, "linked.txt"), old));
            QCOMPARE(::link(Join(files, "linked.txt").constData(), Join(other, "twin").constData()),
                     0);
            wants << Left("linked.txt", old, Reason::SeveralHardLinks);
            otherWants << Unlisted("twin", old);
            found << Saved("linked.txt", old);
            break;
        case Link::SymlinkToHardLinked:
            QVERIFY(WriteRaw(Join(other, "real"), old));
            QCOMPARE(::link(Join(other, "real").constData(), Join(other, "twin").constData()), 0);
            symlink("../other/real", Join(files, "link.txt"));
            wants << Left("link.txt", old, Reason::SeveralHardLinks);
            otherWants << Unlisted("real", old) << Unlisted("twin", old);
            found << Saved("link.txt", old);
            break;
        case Link::Fifo:
            QCOMPARE(::mkfifo(Join(files, "fifo.txt").constData(), 0644), 0);
            wants << Left("fifo.txt", std::nullopt, Reason::NotARegularFile);
            found << Left("fifo.txt", std::nullopt, Reason::CouldNotBeRead);
            break;
        case Link::Folder:
            scratch.Folder("files/folder.txt");
            wants << Left("folder.txt", std::nullopt, Reason::NotARegularFile);
            found << Left("folder.txt", std::nullopt, Reason::CouldNotBeRead);
            break;
        case Link::SymlinkToFolder:
            symlink("../other", Join(files, "folder.txt"));
            wants << Left("folder.txt", std::nullopt, Reason::NotARegularFile);
            found << Left("folder.txt", std::nullopt, Reason::CouldNotBeRead);
            break;
        case Link::SymlinkToDevice:
            symlink("/dev/null", Join(files, "null.txt"));
            wants << Left("null.txt", std::nullopt, Reason::NotARegularFile);
            found << Left("null.txt", std::nullopt, Reason::CouldNotBeRead);
            break;
        case Link::LinkAndTargetBothListed:
            // One file under two names: replaced once, not again through the second name,
            // which is named with the first.
            replacement = "needle and thread";
            QVERIFY(WriteRaw(Join(files, "b.txt"), old));
            symlink("b.txt", Join(files, "a.txt"));
            wants << Saved("a.txt", "a needle and thread\n")
                  << Left("b.txt", "a needle and thread\n", Reason::SameFileAs("a.txt"));
            found << Saved("a.txt", old) << Saved("b.txt", old);
            break;
        case Link::LinkListedLongAfterItsTarget:
            QVERIFY(WriteRaw(Join(files, "a.txt"), old));
            for (int i = 0; i < 500; ++i) {
                const QByteArray name = "f" + QByteArray::number(i).rightJustified(3, '0') + ".txt";
                QVERIFY(WriteRaw(Join(files, name), "hay\n"));
                wants << Untouched(name, "hay\n");
                found << Untouched(name, "hay\n");
            }
            symlink("a.txt", Join(files, "z.txt"));
            wants << Saved("a.txt", replaced)
                  << Left("z.txt", replaced, Reason::SameFileAs("a.txt"));
            found << Saved("a.txt", old) << Saved("z.txt", old);
            break;
    }
    for (const Want& want : std::as_const(otherWants)) {
        found << want;
    }

    // Find mode first: it must change nothing.
    const RunResults findResults = RunHere(files, true, {"*.txt"}, replacement);
    QList<Want> foundHere;
    QList<Want> foundOther;
    for (const Want& want : std::as_const(found)) {
        const bool inOther = std::any_of(otherWants.cbegin(), otherWants.cend(),
                                         [&](const Want& o) { return o.name == want.name; });
        (inOther ? foundOther : foundHere) << want;
    }
    for (Want& want : foundOther) {
        if (want.content) {
            want.content = old;
        }
    }
    Verify(files, foundHere, findResults);
    Verify(other, foundOther, RunResults{});
    if (QTest::currentTestFailed()) {
        return;
    }

    const RunResults results = RunHere(files, false, {"*.txt"}, replacement);
    Verify(files, wants, results);
    Verify(other, otherWants, RunResults{});
}

void TestFaults::metadataKept_data() {
    QTest::addColumn<Metadata>("metadata");
    QTest::newRow("mode 0640") << Metadata::Mode0640;
    QTest::newRow("mode 2755 (setgid)") << Metadata::Mode2755;
    QTest::newRow("mode 1644 (sticky)") << Metadata::Mode1644;
    QTest::newRow("mode 6755 of another owner") << Metadata::Mode6755OfAnotherOwner;
    QTest::newRow("another owner and group") << Metadata::AnotherOwnerAndGroup;
    QTest::newRow("user extended attribute") << Metadata::UserAttribute;
    QTest::newRow("access control list") << Metadata::AccessControlList;
    // The temporary file inherits the folder's default ACL; the saved file must not keep it
    // (here it would take read access from the file's group).
    QTest::newRow("no ACL of its own, in a folder with a default ACL")
        << Metadata::NoAccessControlListInAFolderWithADefaultOne;
}

// A saved file keeps its owner, group, mode bits and extended attributes.
void TestFaults::metadataKept() {
    QFETCH(Metadata, metadata);
    Scratch scratch;
    const QByteArray path = scratch / "f.txt";
    QVERIFY(WriteRaw(path, "one needle\n"));
    const QByteArray native = path;
    switch (metadata) {
        case Metadata::Mode0640:
            QCOMPARE(::chmod(native.constData(), 0640), 0);
            break;
        case Metadata::Mode2755:
            QCOMPARE(::chmod(native.constData(), 02755), 0);
            break;
        case Metadata::Mode1644:
            QCOMPARE(::chmod(native.constData(), 01644), 0);
            break;
        case Metadata::Mode6755OfAnotherOwner:
            if (!IsRoot()) {
                QSKIP("giving a file to another owner needs root");
            }
            QCOMPARE(::chown(native.constData(), NobodyUid(), NogroupGid()), 0);
            QCOMPARE(::chmod(native.constData(), 06755), 0);
            break;
        case Metadata::AnotherOwnerAndGroup:
            if (!IsRoot()) {
                QSKIP("giving a file to another owner needs root");
            }
            QCOMPARE(::chown(native.constData(), NobodyUid(), NogroupGid()), 0);
            break;
        case Metadata::UserAttribute:
            if (::setxattr(native.constData(), "user.origin", "scanner\0x", 9, 0) != 0) {
                QSKIP("this file system has no user extended attributes");
            }
            QCOMPARE(::setxattr(native.constData(), "user.empty", "", 0, 0), 0);
            break;
        case Metadata::AccessControlList:
            if (QProcess::execute("setfacl", {"-m", "u:nobody:rw,g:nogroup:r,m::rw",
                                              QFile::decodeName(path)}) != 0) {
                QSKIP("setfacl is missing or this file system has no ACLs");
            }
            break;
        case Metadata::NoAccessControlListInAFolderWithADefaultOne:
            if (QProcess::execute("setfacl", {"-d", "-m", "u:nobody:rwx,g::---",
                                              QFile::decodeName(scratch.Path())}) != 0) {
                QSKIP("setfacl is missing or this file system has no ACLs");
            }
            break;
    }
    const struct stat before = StatOf(path);
    const QMap<QByteArray, QByteArray> attributesBefore = ExtendedAttributes(path);
    if (metadata == Metadata::UserAttribute || metadata == Metadata::AccessControlList) {
        QVERIFY(!attributesBefore.isEmpty());
    }

    const RunResults results = RunHere(scratch.Path());
    Verify(scratch.Path(), {Saved("f.txt", "one thread\n")}, results);
    const struct stat after = StatOf(path);
    QVERIFY(after.st_ino != before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(after.st_uid, before.st_uid);
    QCOMPARE(after.st_gid, before.st_gid);
    QCOMPARE(ExtendedAttributes(path), attributesBefore);
}

void TestFaults::changedBetweenReadAndSave_data() {
    QTest::addColumn<OtherProgram>("otherProgram");
    QTest::addColumn<bool>("wholeSecondTimes");
    QTest::newRow("appends") << OtherProgram::Appends << false;
    QTest::newRow("rewrites in place, same size") << OtherProgram::RewritesSameSize << false;
    QTest::newRow("rewrites in place, same size, and puts the times back")
        << OtherProgram::RewritesSameSizeAndPutsTimesBack << false;
    QTest::newRow("saves its own copy through a rename")
        << OtherProgram::ReplacesThroughRename << false;
    QTest::newRow("deletes it") << OtherProgram::Deletes << false;
    QTest::newRow("makes it read-only") << OtherProgram::MakesReadOnly << false;
    QTest::newRow("adds a hard link to it") << OtherProgram::AddsHardLink << false;
    QTest::newRow("truncates it") << OtherProgram::Truncates << false;
    // Before the first file is read, the folder's owner renames it away and puts a link to a
    // folder only root may write in its place: the run stays in the folder it listed.
    QTest::newRow("moves the folder away and puts a link to another folder in its place")
        << OtherProgram::MovesTheFolderAwayForALink << false;
    // ext4 with 128-byte inodes keeps whole seconds, as FAT, SMB shares and some kernels do:
    // an edit within the second of the read leaves every stamp as it was.
    QTest::newRow("rewrites 40 files in place, same size, where times are whole seconds")
        << OtherProgram::RewritesSameSize << true;
}

// Another program writes the file after the run read it: the run must leave the other
// program's work as it is and report the file.
void TestFaults::changedBetweenReadAndSave() {
    QFETCH(OtherProgram, otherProgram);
    QFETCH(bool, wholeSecondTimes);
    Scratch scratch;
    std::optional<MountedImage> image;
    QByteArray files = scratch.Folder("files");
    QByteArray elsewhere = scratch.Folder("elsewhere");
    QByteArrayList busy{"busy.txt"};
    if (wholeSecondTimes) {
        image.emplace(MountedImage::Ext4(scratch.Path(), 16, {"-I", "128"}));
        if (!image->WhyNot().isEmpty()) {
            QSKIP(qPrintable(image->WhyNot()));
        }
        files = image->Path() + "/files";
        elsewhere = image->Path() + "/elsewhere";
        QCOMPARE(::mkdir(files.constData(), 0755), 0);
        QCOMPARE(::mkdir(elsewhere.constData(), 0755), 0);
        busy.clear();
        for (int i = 0; i < 40; ++i) {
            busy << "busy-" + QByteArray::number(i).rightJustified(2, '0') + ".txt";
        }
    }
    for (const QByteArray& name : std::as_const(busy)) {
        QVERIFY(WriteRaw(Join(files, name), "one needle\n"));
    }
    QVERIFY(WriteRaw(Join(files, "calm.txt"), "one needle\n"));
    QMap<QByteArray, std::optional<QByteArray>> leftByOther;
    PosixFileStore store;
    const QByteArray movedAway = scratch / "moved";
    const QByteArray rootOnly = scratch.Folder("root-only", 0700);
    RecordingObserver pump;
    if (otherProgram == OtherProgram::MovesTheFolderAwayForALink) {
        QVERIFY(WriteRaw(Join(rootOnly, "busy.txt"), "root's needle\n"));
        QVERIFY(WriteRaw(Join(rootOnly, "calm.txt"), "root's needle\n"));
        pump.onYield = [&](int count) {
            if (count == 1) {
                QCOMPARE(::rename(files.constData(), movedAway.constData()), 0);
                QCOMPARE(::symlink(rootOnly.constData(), files.constData()), 0);
            }
        };
        const RunResults results = RunHere(files, store, false, {"*"}, kReplacement, &pump);
        Verify(movedAway, {Saved("busy.txt", "one thread\n"), Saved("calm.txt", "one thread\n")},
               results);
        Verify(rootOnly,
               {Unlisted("busy.txt", "root's needle\n"), Unlisted("calm.txt", "root's needle\n")},
               RunResults{});
        return;
    }
    store.SetBeforeRenameHook([&](const QByteArray& target) {
        const QByteArray name = target.mid(target.lastIndexOf('/') + 1);
        if (!busy.contains(name)) {
            return;
        }
        const struct stat st = StatOf(target);
        switch (otherProgram) {
            case OtherProgram::Appends: {
                const int fd = ::open(target.constData(), O_WRONLY | O_APPEND);
                QCOMPARE(::write(fd, "typed elsewhere\n", 16), ssize_t(16));
                ::close(fd);
                break;
            }
            case OtherProgram::RewritesSameSize:
            case OtherProgram::RewritesSameSizeAndPutsTimesBack: {
                const int fd = ::open(target.constData(), O_WRONLY);
                QCOMPARE(::pwrite(fd, "NEEDLE", 6, 4), ssize_t(6));
                if (otherProgram == OtherProgram::RewritesSameSizeAndPutsTimesBack) {
                    const timespec times[2] = {st.st_atim, st.st_mtim};
                    QCOMPARE(::futimens(fd, times), 0);
                }
                ::close(fd);
                break;
            }
            case OtherProgram::ReplacesThroughRename:
                QVERIFY(WriteRaw(Join(files, ".swp"), "their needle\n"));
                QCOMPARE(::rename(Join(files, ".swp").constData(), target.constData()), 0);
                break;
            case OtherProgram::Deletes:
                QCOMPARE(::unlink(target.constData()), 0);
                break;
            case OtherProgram::MakesReadOnly:
                QCOMPARE(::chmod(target.constData(), 0444), 0);
                break;
            case OtherProgram::AddsHardLink:
                QCOMPARE(::link(target.constData(), Join(elsewhere, "twin").constData()), 0);
                break;
            case OtherProgram::Truncates:
                QCOMPARE(::truncate(target.constData(), 0), 0);
                break;
            case OtherProgram::MovesTheFolderAwayForALink:
                break;
        }
        leftByOther.insert(name, ReadRaw(target));
    });
    const RunResults results = RunHere(files, store);
    QList<Want> wants{Saved("calm.txt", "one thread\n")};
    for (const QByteArray& name : std::as_const(busy)) {
        QVERIFY2(leftByOther.contains(name), qPrintable(Show(name) + " was not given to save"));
        QCOMPARE(bool(leftByOther.value(name)), otherProgram != OtherProgram::Deletes);
        wants << Left(name, leftByOther.value(name), Reason::ChangedByAnotherProgram);
    }
    if (otherProgram == OtherProgram::Deletes) {
        QCOMPARE(Described(results.leftUnchanged),
                 QStringList{"busy.txt (" + ReasonText(Reason::ChangedByAnotherProgram) + ")"});
        QCOMPARE(Show(FolderEntries(files)), Show(QByteArrayList{"calm.txt"}));
        return;
    }
    Verify(files, wants, results);
}

void TestFaults::inUseByAnotherProgram_data() {
    QTest::addColumn<InUse>("use");
    QTest::newRow("held open for writing the whole run, like a log") << InUse::HeldOpenForWriting;
    QTest::newRow("under flock by another process") << InUse::LockedByAnotherProcess;
    QTest::newRow("opened for writing after the read, written after the rename would be")
        << InUse::OpenedForWritingAfterTheRead;
    QTest::newRow("opened, appended and closed again and again through 300 replaces")
        << InUse::OpensAppendsAndClosesThroughReplaces;
}

// A file another program writes to through a descriptor it holds, or locks, is left alone:
// what that program writes after the run must land in the file, not in a copy the run
// unlinked.
void TestFaults::inUseByAnotherProgram() {
    QFETCH(InUse, use);
    Scratch scratch;
    const QByteArray files = scratch.Folder("files");
    const QByteArray busy = Join(files, "busy.txt");
    const QByteArray old = "one needle\n";
    QVERIFY(WriteRaw(busy, old));
    QVERIFY(WriteRaw(Join(files, "calm.txt"), old));
    std::atomic<int> writer = -1;
    const auto closeWriter = qScopeGuard([&] {
        if (writer >= 0) {
            ::close(writer);
        }
    });
    QProcess locker;
    const auto unlock = qScopeGuard([&] {
        locker.kill();
        locker.waitForFinished();
    });
    // Declared before the store, so joined after the store has let go of the file: an open
    // that must wait for the run to let go of the file waits on a thread of its own.
    std::jthread opener;
    PosixFileStore store;
    if (use == InUse::OpensAppendsAndClosesThroughReplaces) {
        AppendThroughReplaces(files, busy);
        return;
    }
    switch (use) {
        case InUse::HeldOpenForWriting:
            writer = ::open(busy.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
            QVERIFY(writer >= 0);
            break;
        case InUse::LockedByAnotherProcess:
            QVERIFY2(LockElsewhere(locker, busy), locker.readAllStandardError().constData());
            break;
        case InUse::OpenedForWritingAfterTheRead:
            store.SetBeforeRenameHook([&](const QByteArray& target) {
                if (!target.endsWith("/busy.txt") || opener.joinable()) {
                    return;
                }
                writer = -2;
                opener = std::jthread(
                    [&] { writer = ::open(busy.constData(), O_WRONLY | O_APPEND | O_CLOEXEC); });
                // The open waits for the run to let go of the file, once the run has seen it.
                const QDeadlineTimer patience(5000);
                while (writer == -2 && !LeaseBreaking() && !patience.hasExpired()) {
                    QThread::msleep(1);
                }
            });
            break;
        case InUse::OpensAppendsAndClosesThroughReplaces:
            break;
    }
    const RunResults results = RunHere(files, store);
    QByteArray wanted = old;
    if (use != InUse::LockedByAnotherProcess) {
        if (opener.joinable()) {
            opener.join();
        }
        QVERIFY(writer >= 0);
        QCOMPARE(::write(writer, "a record\n", 9), ssize_t(9));
        wanted += "a record\n";
    }
    Verify(files,
           {Left("busy.txt", wanted, Reason::InUseByAnotherProgram),
            Saved("calm.txt", "one thread\n")},
           results);
}

// An editor saves a later file of the list through a rename while the run is between two
// files, and its new file may take the inode number the run's save of the earlier file has
// just freed. The later file is processed and reported like any other.
void TestFaults::savedByAnEditorBetweenTwoFiles() {
    Scratch scratch;
    // A fresh ext4 hands a new file the lowest free inode number: here, the one freed.
    MountedImage image = MountedImage::Ext4(scratch.Path(), 8);
    if (!image.WhyNot().isEmpty()) {
        QSKIP(qPrintable(image.WhyNot()));
    }
    const QByteArray files = image.Path() + "/files";
    QCOMPARE(::mkdir(files.constData(), 0755), 0);
    const QByteArray a = Join(files, "a.txt");
    const QByteArray b = Join(files, "b.txt");
    const QByteArray swap = Join(files, ".b.txt.swp");
    QVERIFY(WriteRaw(a, "one needle\n"));
    QVERIFY(WriteRaw(b, "one needle\n"));
    const ino_t freed = StatOf(a).st_ino;

    bool edited = false;
    bool reused = false;
    RecordingObserver pump;
    // Events are let through once before the first file and once after each.
    pump.onYield = [&](int count) {
        if (count != 2) {
            return;
        }
        // The save of a.txt may still be pending on another thread.
        const QDeadlineTimer patience(10000);
        while (StatOf(a).st_ino == freed && !patience.hasExpired()) {
            QThread::msleep(1);
        }
        for (int attempt = 0;; ++attempt) {
            QVERIFY(WriteRaw(swap, "the editor's needle\n"));
            reused = StatOf(swap).st_ino == freed;
            // The number is free again only once the run has closed the old file.
            if (reused || attempt == 200) {
                break;
            }
            ::unlink(swap.constData());
            QThread::msleep(5);
        }
        QCOMPARE(::rename(swap.constData(), b.constData()), 0);
        edited = true;
    };
    PosixFileStore store;
    FolderFileList list(files);
    RunEnvironment env{store, &pump};
    RunResults results;
    ProcessFileList(env, list, Texts(kFind, kReplacement), results);
    QVERIFY(edited);
    qInfo("the editor's new b.txt %s the inode number the run freed",
          reused ? "took" : "did not take");
    Verify(files, {Saved("a.txt", "one thread\n"), Saved("b.txt", "the editor's thread\n")},
           results);
}

void TestFaults::folderForbidsRenames_data() {
    QTest::addColumn<QString>("attribute");
    QTest::newRow("append-only folder") << QStringLiteral("+a");
    QTest::newRow("immutable folder") << QStringLiteral("+i");
}

// In a folder where no rename can succeed the run must not leave a temporary file per file.
void TestFaults::folderForbidsRenames() {
    QFETCH(QString, attribute);
    Scratch scratch;
    MountedImage image = MountedImage::Ext4(scratch.Path(), 8);
    if (!image.WhyNot().isEmpty()) {
        QSKIP(qPrintable(image.WhyNot()));
    }
    const QByteArray files = image.Path() + "/files";
    QCOMPARE(::mkdir(files.constData(), 0755), 0);
    const QByteArray old = "one needle\n";
    QVERIFY(WriteRaw(Join(files, "a.txt"), old));
    QVERIFY(WriteRaw(Join(files, "b.txt"), old));
    if (QProcess::execute("chattr", {attribute, QFile::decodeName(files)}) != 0) {
        QSKIP("chattr is missing or this file system has no such attribute");
    }
    for (int run = 0; run < 2 && !QTest::currentTestFailed(); ++run) {
        Verify(files,
               {Left("a.txt", old, Reason::CouldNotBeWritten),
                Left("b.txt", old, Reason::CouldNotBeWritten)},
               RunHere(files));
    }
}

void TestFaults::staleTemporaryFiles_data() {
    QTest::addColumn<bool>("findOnly");
    QTest::addColumn<bool>("overFuse");
    QTest::newRow("a replace removes what a dead run left") << false << false;
    QTest::newRow("a find removes nothing") << true << false;
    // FUSE (bindfs) refuses O_TMPFILE: there every temporary file has a name from the start.
    QTest::newRow("FUSE, a replace removes what a dead run left") << false << true;
    QTest::newRow("FUSE, a find removes nothing") << true << true;
}

// A save killed between the link and the rename of its temporary file leaves it named, on any
// file system. One left by a process that is gone is removed by the next replace that reads in
// its folder; one a live process holds locked (whatever number its name carries), one whose
// process lives, another user's, and anything that only looks like one stay. A find touches
// none of them.
void TestFaults::staleTemporaryFiles() {
    QFETCH(bool, findOnly);
    QFETCH(bool, overFuse);
    Scratch scratch;
    const QByteArray source = scratch.Folder("files");
    std::optional<MountedImage> fuse;
    if (overFuse) {
        fuse.emplace(MountedImage::Bindfs(source, scratch.Path()));
        if (!fuse->WhyNot().isEmpty()) {
            QSKIP(qPrintable(fuse->WhyNot()));
        }
    }
    const QByteArray folder = overFuse ? fuse->Path() : source;
    QProcess ended;
    ended.start("true");
    QVERIFY(ended.waitForStarted());
    const QByteArray gone = QByteArray::number(ended.processId());
    QVERIFY(ended.waitForFinished());

    const QByteArray stale = ".quillmark-" + gone + "-x";
    const QByteArray held = ".quillmark-" + gone + "-held";
    const QByteArray others = ".quillmark-" + gone + "-others";
    const QByteArray noDot = "quillmark-" + gone + "-x";
    const QByteArray subfolder = ".quillmark-" + gone + "-folder";
    const QByteArray alive = ".quillmark-" + QByteArray::number(::getpid()) + "-x";
    // The user's own files that share the prefix.
    const QByteArray notes = ".quillmark-notes";
    const QByteArray backup = ".quillmark-1-backup.txt";
    for (const QByteArray& name : {stale, held, others, noDot, alive, notes, backup}) {
        QVERIFY(WriteRaw(Join(source, name), "partial needle"));
    }
    QCOMPARE(::chown(Join(source, others).constData(), NobodyUid(), NogroupGid()), 0);
    QCOMPARE(::mkdir(Join(source, subfolder).constData(), 0755), 0);
    QVERIFY(WriteRaw(Join(source, "f.txt"), "one needle\n"));
    QProcess locker;
    const auto unlock = qScopeGuard([&] {
        locker.kill();
        locker.waitForFinished();
    });
    QVERIFY2(LockElsewhere(locker, Join(folder, held)), locker.readAllStandardError().constData());

    const RunResults results = RunHere(folder, findOnly, {"f.txt"});
    QList<Want> wants{findOnly ? Saved("f.txt", "one needle\n") : Saved("f.txt", "one thread\n")};
    if (findOnly) {
        wants << Unlisted(stale, "partial needle");
    }
    for (const QByteArray& name : {held, others, noDot, alive, notes, backup}) {
        wants << Unlisted(name, "partial needle");
    }
    Verify(folder, wants << Unlisted(subfolder), results);
}

void TestFaults::killedAtRandomMoments_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("withoutUnnamedFiles");
    QTest::addColumn<bool>("undoing");
    QTest::newRow("SIGKILL") << int(SIGKILL) << false << false;
    // FUSE (bindfs) refuses O_TMPFILE: the temporary file has a name from the start.
    QTest::newRow("SIGKILL, FUSE") << int(SIGKILL) << true << false;
    QTest::newRow("SIGTERM, FUSE") << int(SIGTERM) << true << false;
    QTest::newRow("SIGINT, FUSE") << int(SIGINT) << true << false;
    QTest::newRow("SIGHUP, FUSE") << int(SIGHUP) << true << false;
    QTest::newRow("undo, SIGKILL") << int(SIGKILL) << false << true;
    QTest::newRow("undo, SIGKILL, FUSE") << int(SIGKILL) << true << true;
    QTest::newRow("undo, SIGTERM, FUSE") << int(SIGTERM) << true << true;
}

// A run killed at any moment leaves each file wholly old or wholly new, and no temporary
// file where anyone can see it; where the kill can leave one (SIGKILL between a save's link
// and rename, or of a named temporary file), the next run removes it. SIGTERM, SIGINT and SIGHUP
// end the run after the file in hand, and the program ends by itself, having reported each file it
// saved. An undo killed at any moment leaves each file wholly as the replace left it or wholly
// restored, the same.
void TestFaults::killedAtRandomMoments() {
    QFETCH(int, signal);
    QFETCH(bool, withoutUnnamedFiles);
    QFETCH(bool, undoing);
    Scratch scratch;
    QByteArray folder = scratch.Folder("files");
    std::optional<MountedImage> fuse;
    if (withoutUnnamedFiles) {
        fuse.emplace(MountedImage::Bindfs(folder, scratch.Path()));
        if (!fuse->WhyNot().isEmpty()) {
            QSKIP(qPrintable(fuse->WhyNot()));
        }
        folder = fuse->Path();
    }
    QByteArrayList names;
    QList<QByteArray> olds;
    for (int i = 0; i < 10; ++i) {
        names << "large-" + QByteArray::number(i) + ".txt";
        olds << Text(3 * 1024 * 1024 + i * 4099, i);
    }
    const auto lay = [&] {
        for (qsizetype i = 0; i < names.size(); ++i) {
            QVERIFY(WriteRaw(Join(folder, names[i]), olds[i]));
        }
    };
    lay();
    // Starts the program and returns once what the kills aim at has begun: the run, once the
    // program catches the signal, or the undo.
    const auto start = [&](QProcess& process) {
        process.setWorkingDirectory(QFile::decodeName(folder));
        QStringList arguments{QFile::decodeName(folder), "needle", "thread"};
        if (undoing) {
            arguments << "undo";
        }
        process.start(QFile::decodeName(child_), arguments);
        QVERIFY(process.waitForStarted());
        if (undoing) {
            process.setReadChannel(QProcess::StandardError);
            while (!process.canReadLine() && process.waitForReadyRead(-1)) {
            }
            QCOMPARE(process.readLine(), QByteArray("undoing\n"));
            process.setReadChannel(QProcess::StandardOutput);
        } else if (signal != SIGKILL) {
            // A signal before the handlers are in place would end the program before any run.
            const QDeadlineTimer patience(10000);
            while (!Catches(process.processId(), signal) && !patience.hasExpired()) {
                QThread::msleep(1);
            }
            QVERIFY2(Catches(process.processId(), signal), "the program does not catch the signal");
        }
    };

    // One whole run, to spread the kills over its length.
    QProcess first;
    start(first);
    if (QTest::currentTestFailed()) {
        return;
    }
    QElapsedTimer clock;
    clock.start();
    QVERIFY(first.waitForFinished(-1));
    const qint64 length = qMax<qint64>(clock.elapsed(), 50);
    RunIdentity who;
    RunResults whole;
    QVERIFY(DecodeReport(first.readAllStandardOutput(), who, whole));
    QCOMPARE(whole.FilesAffected, qint32(names.size()));

    // A killed run's own children are not killed with it; they become this process's children,
    // and the folder is judged once they have finished too.
    QCOMPARE(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const auto noSubreaper = qScopeGuard([] { ::prctl(PR_SET_CHILD_SUBREAPER, 0); });
    const auto reapOrphans = [] {
        while (::waitpid(-1, nullptr, 0) > 0 || errno == EINTR) {
        }
    };
    QRandomGenerator random(QRandomGenerator::global()->generate());
    int mixed = 0;
    int leftForTheNextRun = 0;
    for (int round = 0; round < 25; ++round) {
        lay();
        if (QTest::currentTestFailed()) {
            return;
        }
        const int delay = int(random.bounded(int(length + length / 5)));
        QProcess process;
        start(process);
        if (QTest::currentTestFailed()) {
            return;
        }
        QThread::msleep(ulong(delay));
        ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(-1));
        reapOrphans();
        RunResults results;
        if (signal != SIGKILL) {
            QVERIFY2(process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0,
                     qPrintable(QStringLiteral("signal %1 at %2 ms ended the program: %3")
                                    .arg(signal)
                                    .arg(delay)
                                    .arg(QString::fromLocal8Bit(process.readAllStandardError()))));
            QVERIFY(DecodeReport(process.readAllStandardOutput(), who, results));
            QVERIFY(results.leftUnchanged.isEmpty());
        }

        int saved = 0;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QByteArray now = ReadRaw(Join(folder, names[i])).value_or("<unreadable>");
            const bool isNew = now == Replaced(olds[i]);
            QVERIFY2(isNew || now == olds[i],
                     qPrintable(QStringLiteral("%1 is neither old nor new after a kill at %2 ms")
                                    .arg(QString::fromUtf8(names[i]))
                                    .arg(delay)));
            saved += isNew ? 1 : 0;
            if (signal != SIGKILL) {
                QCOMPARE(results.foundNames.contains(names[i]), isNew != undoing);
            }
        }
        if (signal == SIGKILL) {
            leftForTheNextRun += FolderEntries(folder) != names ? 1 : 0;
            // The next replace in the folder removes what the kill left, after a killed undo too
            // (a find removes nothing).
            RunResults next;
            RunChild(folder, false, next);
            for (qsizetype i = 0; i < names.size(); ++i) {
                QVERIFY2(
                    ReadRaw(Join(folder, names[i])) == Replaced(olds[i]),
                    qPrintable(Show(names[i]) + QStringLiteral(" is not new after the next run")));
            }
        }
        QVERIFY2(FolderEntries(folder) == names,
                 qPrintable(QStringLiteral("after a kill at %1 ms the folder holds %2")
                                .arg(delay)
                                .arg(Show(FolderEntries(folder)))));
        mixed += saved > 0 && saved < names.size() ? 1 : 0;
    }
    qInfo(
        "%d of 25 kills fell between the first and the last save of a %lld ms %s; %d left a "
        "temporary file for the next run",
        mixed, length, undoing ? "undo" : "run", leftForTheNextRun);
}

// A file whose own path fits PATH_MAX is saved, however little room its folder's path leaves
// for a temporary file's longer name.
void TestFaults::longFolderPath() {
    constexpr qsizetype kFolderLength = 4085;
    Scratch scratch;
    QByteArray folder = scratch.Path();
    while (kFolderLength - folder.size() > 202) {
        folder += '/' + QByteArray(200, 'd');
        QCOMPARE(::mkdir(folder.constData(), 0755), 0);
    }
    folder += '/' + QByteArray(kFolderLength - folder.size() - 1, 'e');
    QCOMPARE(::mkdir(folder.constData(), 0755), 0);
    QCOMPARE(folder.size(), kFolderLength);
    QVERIFY(WriteRaw(Join(folder, "f.txt"), "one needle\n"));
    Verify(folder, {Saved("f.txt", "one thread\n")}, RunHere(folder));
}

void TestFaults::awkwardNames_data() {
    QTest::addColumn<QByteArray>("name");
    QTest::newRow("not valid UTF-8") << QByteArray("caf\xE9 \xFF\xC3(.txt");
    QTest::newRow("spaces") << QByteArray("  two  spaces .txt ");
    QTest::newRow("starting with -") << QByteArray("-n.txt");
    QTest::newRow("starting with --") << QByteArray("--help");
    QTest::newRow("line feed") << QByteArray("line\nbreak.txt");
    QTest::newRow("carriage return and line feed") << QByteArray("crlf\r\n.txt");
    QTest::newRow("backslash, quotes and glob characters") << QByteArray("a\\b'\"*?[x].txt");
    QTest::newRow("leading dot") << QByteArray(".hidden.txt");
    QTest::newRow("valid UTF-8 letters") << QByteArray("\xC3\x89t\xC3\xA9 \xE2\x84\xAA.txt");
}

// Names are bytes: a file with an odd name is read, written and reported under that name.
void TestFaults::awkwardNames() {
    QFETCH(QByteArray, name);
    Scratch scratch;
    const QByteArray folder = scratch.Folder("files");
    const QByteArray readOnly = name + "~ro";
    const QByteArray noHit = name + "~none";
    QVERIFY(WriteRaw(Join(folder, name), "one needle\n"));
    QVERIFY(WriteRaw(Join(folder, readOnly), "one needle\n", 0444));
    QVERIFY(WriteRaw(Join(folder, noHit), "nothing\n"));

    const RunResults found = RunHere(folder, true);
    Verify(folder,
           {Saved(name, "one needle\n"), Saved(readOnly, "one needle\n"),
            Untouched(noHit, "nothing\n")},
           found);

    const RunResults results = RunHere(folder);
    Verify(folder,
           {Saved(name, "one thread\n"), Left(readOnly, "one needle\n", Reason::ReadOnly),
            Untouched(noHit, "nothing\n")},
           results);
    QVERIFY(BuildSummary(false, results)
                .endsWith(QStringLiteral("\r\nLeft unchanged:\r\n") + QString::fromUtf8(readOnly) +
                          QStringLiteral(" (read-only)\r\n")));

    // Highlighting finds the file again by its name.
    FolderFileList list(folder);
    const QList<int> entries = FoundEntries(list, results);
    QCOMPARE(entries.size(), 1);
    QCOMPARE(list.List(entries[0]), name);
}

// No count, list or index is capped below 100,000 files.
void TestFaults::hundredThousandFiles() {
    constexpr int kCount = 100000;
    Scratch scratch;
    const QByteArray folder = scratch.Folder("files");
    QSet<int> hits{0, 32766, 32767, 32768, 65535, 65536, 65537, kCount - 1};
    for (int i = 500; i < kCount; i += 1000) {
        hits.insert(i);
    }
    const auto nameOf = [](int i) { return "f" + QByteArray::number(i).rightJustified(6, '0'); };
    for (int i = 0; i < kCount; ++i) {
        if (!WriteRaw(Join(folder, nameOf(i)), hits.contains(i) ? "a needle\n" : "straw\n")) {
            QFAIL(qPrintable("cannot write " + nameOf(i)));
        }
    }

    // Find mode over all of them: every file holds a line break.
    RunRequest request = Texts("\n", "");
    request.caseSensitive = true;
    request.findOnly = true;
    PosixFileStore store;
    FolderFileList list(folder);
    QCOMPARE(list.ListCount(), kCount);
    RunEnvironment env{store};
    RunResults results;
    ProcessFileList(env, list, request, results);
    QCOMPARE(results.FilesProcessed, kCount);
    QCOMPARE(results.FilesAffected, kCount);
    QCOMPARE(results.foundNames.size(), qsizetype(kCount));
    QCOMPARE(results.foundNames.last(), nameOf(kCount - 1));
    QCOMPARE(FoundList(results).size(), qsizetype(2 + kCount * (7 + 2)));
    QVERIFY(results.leftUnchanged.isEmpty());
    QCOMPARE(FoundEntries(list, results).size(), qsizetype(kCount));

    // Replace mode: only the hits change, wherever they stand in the list.
    results = RunHere(folder);
    QCOMPARE(results.FilesProcessed, kCount);
    QCOMPARE(results.FilesAffected, qint32(hits.size()));
    QVERIFY(results.leftUnchanged.isEmpty());
    QList<int> hitOrder = hits.values();
    std::sort(hitOrder.begin(), hitOrder.end());
    QByteArrayList hitNames;
    for (const int i : hitOrder) {
        hitNames << nameOf(i);
    }
    QCOMPARE(Show(results.foundNames), Show(hitNames));
    const QByteArrayList entries = FolderEntries(folder);
    QCOMPARE(entries.size(), qsizetype(kCount));
    for (int i = 0; i < kCount; ++i) {
        QCOMPARE(entries[i], nameOf(i));
        const QByteArray want = hits.contains(i) ? "a thread\n" : "straw\n";
        if (ReadRaw(Join(folder, nameOf(i))) != want) {
            QFAIL(qPrintable(nameOf(i) + " does not hold " + want.trimmed()));
        }
    }

    // An undo puts back all 100,000 files a replace altered, more than the open files allowed.
    UndoRecord undo;
    QElapsedTimer clock;
    clock.start();
    results = ReplaceNotingUndo(folder, undo, "a", "@");
    const qint64 replacing = clock.restart();
    QCOMPARE(results.FilesAffected, kCount);
    results = UndoHere(undo);
    qInfo("replacing every file while noting its undo took %lld ms, the undo %lld ms", replacing,
          clock.elapsed());
    QList<Want> wants;
    for (int i = 0; i < kCount; ++i) {
        wants << Saved(nameOf(i), hits.contains(i) ? "a thread\n" : "straw\n");
    }
    Verify(folder, wants, results);
}

// A file of more than 1 GiB is read, replaced and saved whole.
void TestFaults::oneGibibyteFile() {
    constexpr qint64 kBlock = 1024 * 1024;
    constexpr int kBlocks = 1024;
    Scratch scratch;
    struct statvfs space {};
    QCOMPARE(::statvfs(scratch.Path().constData(), &space), 0);
    if (qint64(space.f_bavail) * qint64(space.f_frsize) < 4 * kBlock * kBlocks) {
        QSKIP("less than 4 GiB free for a 1 GiB file and its replacement");
    }
    // Each 1 MiB block starts with the search text; one more ends the file.
    QByteArray block = "needle" + QByteArray(kBlock - 6, 'x');
    for (qint64 i = 79; i < kBlock; i += 80) {
        block[i] = '\n';
    }
    const QByteArray tail = "needle";
    const QByteArray path = scratch / "huge.txt";
    {
        QFile file(QFile::decodeName(path));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < kBlocks; ++i) {
            QCOMPARE(file.write(block), kBlock);
        }
        QCOMPARE(file.write(tail), qint64(tail.size()));
    }
    QVERIFY(WriteRaw(scratch / "small.txt", "a needle\n"));

    // One byte longer: the output grows.
    RunRequest request = Texts("needle", "thread!");
    request.caseSensitive = true;
    PosixFileStore store;
    FolderFileList list(scratch.Path());
    RunEnvironment env{store};
    RunResults results;
    ProcessFileList(env, list, request, results);
    QCOMPARE(Show(results.foundNames), Show(QByteArrayList{"huge.txt", "small.txt"}));
    QCOMPARE(results.FilesAffected, 2);
    QCOMPARE(results.FilesProcessed, 2);
    QVERIFY(results.leftUnchanged.isEmpty());
    QCOMPARE(Show(FolderEntries(scratch.Path())), Show(QByteArrayList{"huge.txt", "small.txt"}));

    QByteArray newBlock = block;
    newBlock.replace(0, 6, "thread!");
    QCOMPARE(StatOf(path).st_size, qint64(kBlocks) * (kBlock + 1) + 7);
    QFile file(QFile::decodeName(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    for (int i = 0; i < kBlocks; ++i) {
        if (file.read(kBlock + 1) != newBlock) {
            QFAIL(qPrintable(QStringLiteral("block %1 is wrong").arg(i)));
        }
    }
    QCOMPARE(file.readAll(), QByteArray("thread!"));
}

QTEST_GUILESS_MAIN(TestFaults)
#include "tst_faults.moc"
