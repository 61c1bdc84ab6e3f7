// SPDX-License-Identifier: GPL-3.0-or-later
// The command line: how arguments are read, and runs without a window by the real engine and
// file store over a temporary folder, compared as the bytes written to standard output and
// standard error and the exit status. The program itself is started too, without a display.
#include "commandline.h"
#include "eventpump.h"
#include "stopsignalpump.h"
#include "stopsignals.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <memory>

namespace {

using Args = QList<QByteArray>;
using Mode = CommandLine::Mode;

// Sets stop at its calls-th call: a run lets the pump look once before its first file and
// once after each, so 2 stops it after the first file.
class StoppingPump : public EventPump {
public:
    StoppingPump(bool& stop, int calls) : stop_(stop), callsLeft_(calls) {}
    void DoEvents() override {
        if (--callsLeft_ == 0) {
            stop_ = true;
        }
    }

private:
    bool& stop_;
    int callsLeft_;
};

// The folder before a run: what each row's special file is.
enum class Extra {
    None,
    Binary,
    ReadOnly,
    Symlink,
    RawName,
    SecondName,
    RawSecondName,
    Encodings,
    Texts,
    Long
};

// What the program is started under: a limit on the size of the files it writes or on its
// memory (a file past either lies between altered ones), or a standard output that takes
// nothing (a full device, a pipe whose reader has gone).
enum class Fault { None, FileSizeLimit, MemoryLimit, FullDevice, ClosedPipe };

// The files Extra::Encodings adds: "café" in Windows-1252, in UTF-16LE and in Windows-1251.
const QByteArray kLatin = "caf\xE9\n";
const QByteArray kUtf16 = QByteArray(
    "\xFF\xFE"
    "c\0a\0f\0\xE9\0\n\0",
    12);
const QByteArray kCyrillic = "\xEA\xE0\xF4\xE5\n";

// Extra::Texts: lines for hunks apart and no last line break, a name a diff quotes, a line
// that holds a byte UTF-8 has not, and a hidden file.
const QByteArray kD = "1\n2\n3\n4 needle\n5\n6\n7\n8\n9\n10\n11\n12 needle";
const QByteArray kE = "needle needle\n";
const QByteArray kG = "\xEF\xBB\xBFneedle \xFF\n";
const QByteArray kH = "needle\n1\n2\n3\n4\n5\n6\nneedle\n";
const QByteArray kU = QByteArrayLiteral(
    "\xFF\xFE"
    "x\0\r\0\n\0n\0e\0e\0d\0l\0e\0\n\0");
// A text past the kernel's limit on one argument.
const QByteArray kLong = QByteArray("0123456789abcdef").repeated(1 << 16);

const QByteArray kA = "one needle here\n";
const QByteArray kC = "NEEDLE upper\r\n";

}  // namespace

Q_DECLARE_METATYPE(Mode)
Q_DECLARE_METATYPE(Extra)
Q_DECLARE_METATYPE(Fault)

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parse_data();
    void parse();
    void wantsWindow_data();
    void wantsWindow();
    void run_data();
    void run();
    void stopEndsRunAfterFileInHand_data();
    void stopEndsRunAfterFileInHand();
    void programRunsWithoutDisplay_data();
    void programRunsWithoutDisplay();
    void windowIsAProgramOfItsOwn_data();
    void windowIsAProgramOfItsOwn();

private:
    QByteArray Path(const QByteArray& name) const { return folder_ + '/' + name; }
    QByteArray Content(const QByteArray& name) const;
    void Write(const QByteArray& path, const QByteArray& content);
    // Arguments with "F" standing for the folder.
    Args WithFolder(const Args& args) const;

    std::unique_ptr<QTemporaryDir> temp_;
    QByteArray folder_;
    QByteArray outside_;
};

void TestCommandLine::init() {
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    const QByteArray root = QFile::encodeName(temp_->path());
    folder_ = root + "/docs";
    outside_ = root + "/outside";
    QVERIFY(::mkdir(folder_.constData(), 0755) == 0);
    QVERIFY(::mkdir(outside_.constData(), 0755) == 0);
    Write(Path("a.txt"), kA);
    Write(Path("B.txt"), "nothing to see\n");
    Write(Path("c.htm"), kC);
    Write(Path("notes.ini"), "needle\n");
    Write(outside_ + "/text.txt", "two\nlines\r\n\n");
}

void TestCommandLine::cleanup() {
    // QTemporaryDir cannot remove a name that is not UTF-8.
    ::unlink(Path("caf\xE9.txt").constData());
    temp_.reset();
}

QByteArray TestCommandLine::Content(const QByteArray& name) const {
    QFile file(QFile::decodeName(Path(name)));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

void TestCommandLine::Write(const QByteArray& path, const QByteArray& content) {
    // POSIX calls, so that a name that is not UTF-8 keeps its bytes.
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    QVERIFY(fd >= 0);
    const ssize_t written = ::write(fd, content.constData(), std::size_t(content.size()));
    ::close(fd);
    QCOMPARE(written, ssize_t(content.size()));
}

Args TestCommandLine::WithFolder(const Args& args) const {
    Args result;
    for (const QByteArray& arg : args) {
        result.append(arg == "F"             ? folder_
                      : arg == "F/missing"   ? folder_ + "/missing"
                      : arg.startsWith("O/") ? outside_ + arg.mid(1)
                                             : arg);
    }
    return result;
}

void TestCommandLine::parse_data() {
    QTest::addColumn<Args>("args");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QByteArray>("folder");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<bool>("replace");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<Args>("names");

    const QString start = "*.txt;*.doc;*.htm;*.asp;*.html;*.xml";
    QTest::newRow("nothing: the window on the current folder")
        << Args{} << Mode::Window << QByteArray() << QByteArray() << false << start << Args{};
    QTest::newRow("one folder: the window on it")
        << Args{"docs"} << Mode::Window << QByteArray("docs") << QByteArray() << false << start
        << Args{};
    QTest::newRow("two folders for the window")
        << Args{"a", "b"} << Mode::UsageError << QByteArray() << QByteArray() << false << start
        << Args{};
    QTest::newRow("after --, a folder named like an option")
        << Args{"--", "--help"} << Mode::Window << QByteArray("--help") << QByteArray() << false
        << start << Args{};
    QTest::newRow("--help wins over a run")
        << Args{"--find", "x", "--help", "F"} << Mode::Help << QByteArray() << QByteArray() << false
        << start << Args{};
    QTest::newRow("-h") << Args{"-h"} << Mode::Help << QByteArray() << QByteArray() << false
                        << start << Args{};
    QTest::newRow("--version") << Args{"--version"} << Mode::Version << QByteArray() << QByteArray()
                               << false << start << Args{};
    QTest::newRow("find with the start filter")
        << Args{"--find", "x", "dir"} << Mode::Run << QByteArray("dir") << QByteArray("x") << false
        << start << Args{};
    QTest::newRow("a text that starts with a dash, and names")
        << Args{"--find", "-x", "--replace", "--null", "dir", "a.txt", "b.txt"} << Mode::Run
        << QByteArray("dir") << QByteArray("-x") << true << start << Args{"a.txt", "b.txt"};
    QTest::newRow("a line break in the text stays")
        << Args{"--find=a\nb", "--replace=", "dir"} << Mode::Run << QByteArray("dir")
        << QByteArray("a\nb") << true << start << Args{};
    QTest::newRow("filter given, empty filter kept")
        << Args{"--filter", "", "--find", "x", "dir"} << Mode::Run << QByteArray("dir")
        << QByteArray("x") << false << QString() << Args{};
    QTest::newRow("a name after -- may start with a dash")
        << Args{"--find", "x", "dir", "--", "-n.txt"} << Mode::Run << QByteArray("dir")
        << QByteArray("x") << false << start << Args{"-n.txt"};
    QTest::newRow("--replace without --find")
        << Args{"--replace", "y", "dir"} << Mode::UsageError << QByteArray() << QByteArray()
        << false << start << Args{};
    QTest::newRow("--find without a value")
        << Args{"dir", "--find"} << Mode::UsageError << QByteArray() << QByteArray() << false
        << start << Args{};
    QTest::newRow("an empty search text")
        << Args{"--find", "", "dir"} << Mode::UsageError << QByteArray() << QByteArray() << false
        << start << Args{};
    QTest::newRow("no folder") << Args{"--find", "x"} << Mode::UsageError << QByteArray()
                               << QByteArray() << false << start << Args{};
    QTest::newRow("an unknown option")
        << Args{"--find", "x", "--recursive", "dir"} << Mode::UsageError << QByteArray()
        << QByteArray() << false << start << Args{};
    QTest::newRow("the window with a legacy encoding")
        << Args{"--legacy-encoding", "KOI8-R", "docs"} << Mode::Window << QByteArray("docs")
        << QByteArray() << false << start << Args{};
    QTest::newRow("a legacy encoding that is not single-byte")
        << Args{"--legacy-encoding=UTF-8", "--find", "x", "dir"} << Mode::Refused << QByteArray()
        << QByteArray() << false << start << Args{};
    QTest::newRow("--find-file: the text as the file holds it, one final line break less")
        << Args{"--find-file", "O/text.txt", "--replace-file", "O/text.txt", "dir"} << Mode::Run
        << QByteArray("dir") << QByteArray("two\nlines\r\n") << true << start << Args{};
    QTest::newRow("--find-file of a file that cannot be read")
        << Args{"--find-file", "O/missing.txt", "dir"} << Mode::Refused << QByteArray()
        << QByteArray() << false << start << Args{};
    QTest::newRow("--find with --find-file")
        << Args{"--find", "x", "--find-file", "O/text.txt", "dir"} << Mode::UsageError
        << QByteArray() << QByteArray() << false << start << Args{};
    QTest::newRow("--replace-file with --replace")
        << Args{"--find", "x", "--replace-file", "O/text.txt", "--replace", "y", "dir"}
        << Mode::UsageError << QByteArray() << QByteArray() << false << start << Args{};
    QTest::newRow("both texts from standard input")
        << Args{"--find-file", "-", "--replace-file", "-", "dir"} << Mode::UsageError
        << QByteArray() << QByteArray() << false << start << Args{};
    QTest::newRow("--dry-run without --replace")
        << Args{"--find", "x", "--dry-run", "dir"} << Mode::UsageError << QByteArray()
        << QByteArray() << false << start << Args{};
    QTest::newRow("--lines with --replace")
        << Args{"--find", "x", "--replace", "y", "--lines", "dir"} << Mode::UsageError
        << QByteArray() << QByteArray() << false << start << Args{};
    QTest::newRow("an unknown legacy encoding")
        << Args{"--legacy-encoding", "no-such-code-page", "docs"} << Mode::Refused << QByteArray()
        << QByteArray() << false << start << Args{};
}

void TestCommandLine::parse() {
    QFETCH(Args, args);
    QFETCH(Mode, mode);
    const CommandLine request = CommandLine::Parse(WithFolder(args));
    QCOMPARE(request.mode, mode);
    if (mode == Mode::UsageError || mode == Mode::Refused) {
        QVERIFY(!request.error.isEmpty());
        QVERIFY(!request.error.contains('\n'));
        return;
    }
    if (mode == Mode::Help || mode == Mode::Version) {
        return;
    }
    QTEST(request.folder, "folder");
    QTEST(request.findText, "find");
    QTEST(request.replace, "replace");
    QTEST(request.filter, "filter");
    QTEST(request.names, "names");
}

void TestCommandLine::wantsWindow_data() {
    QTest::addColumn<Args>("args");
    QTest::addColumn<bool>("window");
    QTest::newRow("nothing") << Args{} << true;
    QTest::newRow("a folder") << Args{"docs"} << true;
    QTest::newRow("Qt's own options") << Args{"-style", "fusion", "docs"} << true;
    QTest::newRow("a folder named like an option after --") << Args{"--", "--find"} << true;
    QTest::newRow("--help") << Args{"docs", "--help"} << false;
    QTest::newRow("-h") << Args{"-h"} << false;
    QTest::newRow("--find=") << Args{"--find=x", "docs"} << false;
    QTest::newRow("--replace alone") << Args{"--replace", "x"} << false;
    QTest::newRow("an unknown long option") << Args{"--bogus"} << false;
    QTest::newRow("a known legacy encoding") << Args{"--legacy-encoding", "KOI8-R", "docs"} << true;
    QTest::newRow("a refused legacy encoding, said without a window")
        << Args{"--legacy-encoding=UTF-8", "docs"} << false;
    QTest::newRow("a legacy encoding for the window")
        << Args{"--legacy-encoding", "CP437", "docs"} << true;
    QTest::newRow("a legacy encoding for a run")
        << Args{"--legacy-encoding=CP437", "--find", "x", "docs"} << false;
}

void TestCommandLine::wantsWindow() {
    QFETCH(Args, args);
    QTEST(CommandLine::WantsWindow(args), "window");
}

void TestCommandLine::run_data() {
    QTest::addColumn<Extra>("extra");
    QTest::addColumn<Args>("args");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("err");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("aAfter");
    QTest::addColumn<QByteArray>("cAfter");

    const QByteArray aNew = "one thread here\n";
    const QByteArray cNew = "thread upper\r\n";
    QTest::newRow("find: names in list order, case ignored, nothing written")
        << Extra::None << Args{"--find", "needle", "F"} << QByteArray("a.txt\nc.htm\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("find --null") << Extra::None << Args{"--null", "--find", "needle", "F"}
                                 << QByteArray("a.txt\0c.htm\0", 12) << QByteArray() << 0 << kA
                                 << kC;
    QTest::newRow("find case-sensitive")
        << Extra::None << Args{"--case-sensitive", "--find", "needle", "F"} << QByteArray("a.txt\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("find a text no file holds: 1") << Extra::None << Args{"--find", "absent", "F"}
                                                  << QByteArray() << QByteArray() << 1 << kA << kC;
    QTest::newRow("find a line break as given")
        << Extra::None << Args{"--find", "upper\r\n", "F"} << QByteArray("c.htm\n") << QByteArray()
        << 0 << kA << kC;
    QTest::newRow("replace: the altered names, every other byte kept")
        << Extra::None << Args{"--find", "needle", "--replace", "thread", "F"}
        << QByteArray("a.txt\nc.htm\n") << QByteArray() << 0 << aNew << cNew;
    QTest::newRow("replace only the names given")
        << Extra::None << Args{"--find", "needle", "--replace", "thread", "F", "c.htm"}
        << QByteArray("c.htm\n") << QByteArray() << 0 << kA << cNew;
    QTest::newRow("replace where no file holds the text: 1")
        << Extra::None << Args{"--find", "absent", "--replace", "x", "F"} << QByteArray()
        << QByteArray() << 1 << kA << kC;
    QTest::newRow("a name the filter leaves out: 2, nothing touched")
        << Extra::None << Args{"--find", "needle", "--replace", "thread", "F", "a.txt", "notes.ini"}
        << QByteArray()
        << QByteArray(
               "quillmark: \"notes.ini\" is not among the files of \"F\" that pass the "
               "filter\n")
        << 2 << kA << kC;
    QTest::newRow("--filter picks the files")
        << Extra::None << Args{"--filter", "*.ini;*.htm", "--find", "needle", "F"}
        << QByteArray("c.htm\nnotes.ini\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("a refused filter: 2")
        << Extra::None << Args{"--filter", "[a", "--find", "needle", "--replace", "x", "F"}
        << QByteArray()
        << QByteArray(
               "quillmark: the filter \"[a\" is refused: The pattern \"[a\" opens a \"[\" "
               "set that it does not close.\n")
        << 2 << kA << kC;
    QTest::newRow("a refused folder: 2")
        << Extra::None << Args{"--find", "needle", "F/missing"} << QByteArray()
        << QByteArray(
               "quillmark: the folder \"F/missing\" cannot be opened: No such file or "
               "directory\n")
        << 2 << kA << kC;
    QTest::newRow("a usage error: 2")
        << Extra::None << Args{"--find", "needle"} << QByteArray()
        << QByteArray("quillmark: a folder is needed\nquillmark: see quillmark --help\n") << 2 << kA
        << kC;
    QTest::newRow("a binary file is left unchanged: 2")
        << Extra::Binary << Args{"--find", "needle", "--replace", "thread", "F"}
        << QByteArray("a.txt\nc.htm\n") << QByteArray("Left unchanged: bin.txt (binary file)\n")
        << 2 << aNew << cNew;
    QTest::newRow("a binary file is found")
        << Extra::Binary << Args{"--find", "needle", "F"} << QByteArray("a.txt\nbin.txt\nc.htm\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("a read-only file is left unchanged: 2")
        << Extra::ReadOnly << Args{"--find", "needle", "--replace", "thread", "F"}
        << QByteArray("c.htm\n") << QByteArray("Left unchanged: a.txt (read-only)\n") << 2 << kA
        << cNew;
    QTest::newRow("a symlink is followed and kept")
        << Extra::Symlink << Args{"--find", "needle", "--replace", "thread", "F"}
        << QByteArray("a.txt\nc.htm\nlink.txt\n") << QByteArray() << 0 << aNew << cNew;
    QTest::newRow("a second name of an altered file is named with it, and leaves nothing undone")
        << Extra::SecondName << Args{"--find", "needle", "--replace", "thread", "F"}
        << QByteArray("a.txt\nc.htm\n")
        << QByteArray("Left unchanged: b.txt (same file as a.txt)\n") << 0 << aNew << cNew;
    // Regression: the first name went through UTF-8 and came out as U+FFFD.
    QTest::newRow("a second name of a file whose name is not UTF-8 is named with its bytes")
        << Extra::RawSecondName << Args{"--find", "needle", "--replace", "thread", "F"}
        << QByteArray("a.txt\nc.htm\ncaf\xE9.txt\n")
        << QByteArray("Left unchanged: z.txt (same file as caf\xE9.txt)\n") << 0 << aNew << cNew;
    QTest::newRow("a name that is not UTF-8 is printed as its bytes")
        << Extra::RawName << Args{"--find", "needle", "F"}
        << QByteArray("a.txt\nc.htm\ncaf\xE9.txt\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("a name that is not UTF-8 is left unchanged as its bytes")
        << Extra::RawName << Args{"--find", "needle", "--replace", "thread", "F", "caf\xE9.txt"}
        << QByteArray() << QByteArray("Left unchanged: caf\xE9.txt (read-only)\n") << 2 << kA << kC;
    const QByteArray cafeUpper = "CAF\xC3\x89";
    QTest::newRow("find in Windows-1252 and UTF-16, not in Windows-1251")
        << Extra::Encodings << Args{"--find", cafeUpper, "F"}
        << QByteArray("latin.txt\nutf16.txt\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("replace in Windows-1252 and UTF-16, each in its own encoding")
        << Extra::Encodings << Args{"--find", cafeUpper, "--replace", "th\xC3\xA9", "F"}
        << QByteArray("latin.txt\nutf16.txt\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("a replacement Windows-1252 cannot hold")
        << Extra::Encodings << Args{"--find", cafeUpper, "--replace", "\xE2\x86\x92", "F"}
        << QByteArray("utf16.txt\n")
        << QByteArray(
               "Left unchanged: latin.txt (the replacement cannot be written in windows-1252)\n")
        << 2 << kA << kC;
    QTest::newRow("--legacy-encoding windows-1251")
        << Extra::Encodings
        << Args{"--legacy-encoding",
                "windows-1251",
                "--case-sensitive",
                "--find",
                "\xD0\xBA\xD0\xB0\xD1\x84\xD0\xB5",
                "--replace",
                "\xD1\x87\xD0\xB0\xD0\xB9",
                "F"}
        << QByteArray("cyrillic.txt\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("a filter no file passes: said, 1")
        << Extra::None << Args{"--filter", "*.tx", "--find", "needle", "F"} << QByteArray()
        << QByteArray("quillmark: no file in F passes the filter \"*.tx\"\n") << 1 << kA << kC;
    const Args dryRun = {"--find", "needle", "--replace", "thread", "--dry-run", "F"};
    QTest::newRow("--dry-run: a diff of each file it would alter, nothing written")
        << Extra::None << dryRun
        << QByteArray(
               "--- a.txt\n+++ a.txt\n@@ -1 +1 @@\n-one needle here\n+one thread here\n"
               "--- c.htm\n+++ c.htm\n@@ -1 +1 @@\n-NEEDLE upper\r\n+thread upper\r\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--dry-run: a read-only file would be left unchanged: 2")
        << Extra::ReadOnly << dryRun
        << QByteArray("--- c.htm\n+++ c.htm\n@@ -1 +1 @@\n-NEEDLE upper\r\n+thread upper\r\n")
        << QByteArray("Left unchanged: a.txt (read-only)\n") << 2 << kA << kC;
    QTest::newRow("--dry-run: a binary file would be left unchanged: 2")
        << Extra::Binary << dryRun
        << QByteArray(
               "--- a.txt\n+++ a.txt\n@@ -1 +1 @@\n-one needle here\n+one thread here\n--- "
               "c.htm\n+++ c.htm\n@@ -1 +1 @@\n-NEEDLE upper\r\n+thread upper\r\n")
        << QByteArray("Left unchanged: bin.txt (binary file)\n") << 2 << kA << kC;
    QTest::newRow("--dry-run: a second name of a file it would alter is named with it")
        << Extra::SecondName << dryRun
        << QByteArray(
               "--- a.txt\n+++ a.txt\n@@ -1 +1 @@\n-one needle here\n+one thread here\n--- "
               "c.htm\n+++ c.htm\n@@ -1 +1 @@\n-NEEDLE upper\r\n+thread upper\r\n")
        << QByteArray("Left unchanged: b.txt (same file as a.txt)\n") << 0 << kA << kC;
    QTest::newRow("--dry-run: hunks apart, no last line break, a quoted name")
        << Extra::Texts
        << Args{"--find", "needle", "--replace", "thread", "--dry-run", "F", "d.txt", "e f.txt"}
        << QByteArray(
               "--- d.txt\n+++ d.txt\n"
               "@@ -1,7 +1,7 @@\n 1\n 2\n 3\n-4 needle\n+4 thread\n 5\n 6\n 7\n"
               "@@ -9,4 +9,4 @@\n 9\n 10\n 11\n-12 needle\n\\ No newline at end of file\n"
               "+12 thread\n\\ No newline at end of file\n"
               "--- \"e f.txt\"\n+++ \"e f.txt\"\n@@ -1 +1 @@\n-needle needle\n+thread thread\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--dry-run: lines joined")
        << Extra::Texts << Args{"--find", "needle\n", "--replace", "", "--dry-run", "F", "d.txt"}
        << QByteArray(
               "--- d.txt\n+++ d.txt\n"
               "@@ -1,8 +1,7 @@\n 1\n 2\n 3\n-4 needle\n-5\n+4 5\n 6\n 7\n 8\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--dry-run: lines split, the last one gaining its line break")
        << Extra::Texts << Args{"--find", "needle", "--replace", "a\nb", "--dry-run", "F", "d.txt"}
        << QByteArray(
               "--- d.txt\n+++ d.txt\n"
               "@@ -1,7 +1,8 @@\n 1\n 2\n 3\n-4 needle\n+4 a\n+b\n 5\n 6\n 7\n"
               "@@ -9,4 +10,5 @@\n 9\n 10\n 11\n-12 needle\n\\ No newline at end of file\n"
               "+12 a\n+b\n\\ No newline at end of file\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--dry-run: changes six lines apart share a hunk")
        << Extra::Texts
        << Args{"--find", "needle", "--replace", "thread", "--dry-run", "F", "h.txt"}
        << QByteArray(
               "--- h.txt\n+++ h.txt\n@@ -1,8 +1,8 @@\n-needle\n+thread\n"
               " 1\n 2\n 3\n 4\n 5\n 6\n-needle\n+thread\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--dry-run: a last CRLF taken away")
        << Extra::None << Args{"--find", "upper\n", "--replace", "", "--dry-run", "F"}
        << QByteArray(
               "--- c.htm\n+++ c.htm\n@@ -1 +1 @@\n-NEEDLE upper\r\n+NEEDLE \n"
               "\\ No newline at end of file\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--dry-run: Windows-1252 and UTF-16 files' diffs hold their own bytes")
        << Extra::Encodings
        << Args{"--find", "CAF\xC3\x89", "--replace", "th\xC3\xA9", "--dry-run", "F"}
        << QByteArrayLiteral(
               "--- latin.txt\n+++ latin.txt\n@@ -1 +1 @@\n-caf\xE9\n+th\xE9\n"
               "--- utf16.txt\n+++ utf16.txt\n@@ -1,2 +1,2 @@\n-\xFF\xFE"
               "c\0a\0f\0\xE9\0\n"
               "+\xFF\xFEt\0h\0\xE9\0\n \0\n\\ No newline at end of file\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--dry-run: a line an occurrence spans but leaves as it was is context")
        << Extra::Texts
        << Args{"--find", "3\n4 needle", "--replace", "3\n4 thread", "--dry-run", "F", "d.txt"}
        << QByteArray(
               "--- d.txt\n+++ d.txt\n"
               "@@ -1,7 +1,7 @@\n 1\n 2\n 3\n-4 needle\n+4 thread\n 5\n 6\n 7\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--lines: an occurrence over two lines, listed on the line it starts on")
        << Extra::Texts << Args{"--lines", "--find", "needle\n5", "F", "d.txt"}
        << QByteArray("d.txt:4:4 needle\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("--lines: each line an occurrence starts on, once")
        << Extra::Texts << Args{"--lines", "--find", "needle", "F"}
        << QByteArray(
               "a.txt:1:one needle here\nc.htm:1:NEEDLE upper\nd.txt:4:4 needle\n"
               "d.txt:12:12 needle\ne f.txt:1:needle needle\ng.txt:1:needle \\xFF\n"
               "h.txt:1:needle\nh.txt:8:needle\nu.txt:2:needle\n")
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--lines --null: NUL after the name")
        << Extra::Binary << Args{"--lines", "--null", "--find", "needle", "F", "bin.txt"}
        << QByteArray(
               "bin.txt\0"
               "1:needle\\x00\n",
               21)
        << QByteArray() << 0 << kA << kC;
    QTest::newRow("--lines: Windows-1252 and UTF-16 lines shown as UTF-8")
        << Extra::Encodings << Args{"--lines", "--find", "CAF\xC3\x89", "F"}
        << QByteArray("latin.txt:1:caf\xC3\xA9\nutf16.txt:1:caf\xC3\xA9\n") << QByteArray() << 0
        << kA << kC;
    QTest::newRow("--hidden: names starting with \".\" are listed")
        << Extra::Texts << Args{"--hidden", "--find", "needle", "F", ".h.txt"}
        << QByteArray(".h.txt\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("without --hidden, a hidden name is not among the files")
        << Extra::Texts << Args{"--find", "needle", "F", ".h.txt"} << QByteArray()
        << QByteArray(
               "quillmark: \".h.txt\" is not among the files of \"F\" that pass the filter\n")
        << 2 << kA << kC;
    QTest::newRow("--replace-file: a 1 MiB replacement")
        << Extra::Long
        << Args{"--find", "needle", "--replace-file", "O/long.txt", "F", "a.txt", "c.htm"}
        << QByteArray("a.txt\nc.htm\n") << QByteArray() << 0 << "one " + kLong + " here\n"
        << kLong + " upper\r\n";
    QTest::newRow("--find-file: a 1 MiB search text")
        << Extra::Long << Args{"--find-file", "O/long.txt", "--replace", "thread", "F"}
        << QByteArray("m.txt\n") << QByteArray() << 0 << kA << kC;
    QTest::newRow("--legacy-encoding refused for a multi-byte encoding: 2")
        << Extra::None << Args{"--legacy-encoding", "UTF-16", "--find", "needle", "F"}
        << QByteArray() << QByteArray("quillmark: UTF-16 is not a single-byte encoding\n") << 2
        << kA << kC;
}

void TestCommandLine::run() {
    QFETCH(Extra, extra);
    QFETCH(Args, args);
    QFETCH(QByteArray, err);
    QFETCH(int, status);

    const QByteArray linkTarget = outside_ + "/target.txt";
    switch (extra) {
        case Extra::None:
            break;
        case Extra::Binary:
            Write(Path("bin.txt"), QByteArray("needle\0", 7));
            break;
        case Extra::ReadOnly:
            QVERIFY(::chmod(Path("a.txt").constData(), 0444) == 0);
            break;
        case Extra::Symlink:
            Write(linkTarget, "needle outside\n");
            QVERIFY(::symlink(linkTarget.constData(), Path("link.txt").constData()) == 0);
            break;
        case Extra::SecondName:
            QVERIFY(::symlink("a.txt", Path("b.txt").constData()) == 0);
            break;
        case Extra::RawSecondName:
            Write(Path("caf\xE9.txt"), "needle\n");
            QVERIFY(::symlink("caf\xE9.txt", Path("z.txt").constData()) == 0);
            break;
        case Extra::RawName:
            Write(Path("caf\xE9.txt"), "needle\n");
            QVERIFY(::chmod(Path("caf\xE9.txt").constData(), 0444) == 0);
            break;
        case Extra::Encodings:
            Write(Path("latin.txt"), kLatin);
            Write(Path("utf16.txt"), kUtf16);
            Write(Path("cyrillic.txt"), kCyrillic);
            break;
        case Extra::Texts:
            Write(Path("d.txt"), kD);
            Write(Path("e f.txt"), kE);
            Write(Path("g.txt"), kG);
            Write(Path(".h.txt"), "needle\n");
            Write(Path("h.txt"), kH);
            Write(Path("u.txt"), kU);
            break;
        case Extra::Long:
            Write(outside_ + "/long.txt", kLong + "\r\n");
            Write(Path("m.txt"), "<" + kLong + ">\n");
            break;
    }

    const auto everyFile = QDir::Files | QDir::Hidden | QDir::System;
    const QStringList names = QDir(QFile::decodeName(folder_)).entryList(everyFile, QDir::Name);
    QByteArray out;
    QByteArray errWritten;
    const int exitStatus = RunCommandLine(CommandLine::Parse(WithFolder(args)), out, errWritten);
    QTEST(out, "out");
    QCOMPARE(errWritten, err.replace("\"F", "\"" + folder_).replace(" F ", " " + folder_ + ' '));
    QCOMPARE(exitStatus, status);
    QTEST(Content("a.txt"), "aAfter");
    QTEST(Content("c.htm"), "cAfter");
    QCOMPARE(Content("notes.ini"), QByteArray("needle\n"));

    if (extra == Extra::Long && args.contains("--find-file")) {
        QCOMPARE(Content("m.txt"), QByteArray("<thread>\n"));
    }
    if (args.contains("--dry-run")) {
        // Not even a temporary file was made. The diff, applied by patch to a copy, gives what
        // the replace itself gives.
        QCOMPARE(QDir(QFile::decodeName(folder_)).entryList(everyFile, QDir::Name), names);
        const QString copy = QFile::decodeName(outside_) + "/copy";
        QCOMPARE(QProcess::execute("cp", {"-a", QFile::decodeName(folder_), copy}), 0);
        QProcess patch;
        patch.setWorkingDirectory(copy);
        patch.start("patch", {"-p0", "--silent", "--no-backup-if-mismatch"});
        patch.write(out);
        patch.closeWriteChannel();
        QVERIFY(patch.waitForFinished(60000));
        QCOMPARE(patch.exitCode(), 0);
        Args replace = args;
        replace.removeAll("--dry-run");
        QByteArray replaceOut;
        QByteArray replaceErr;
        QCOMPARE(RunCommandLine(CommandLine::Parse(WithFolder(replace)), replaceOut, replaceErr),
                 status);
        QCOMPARE(replaceErr, errWritten);
        QCOMPARE(QDir(copy).entryList(everyFile, QDir::Name), names);
        for (const QString& name : names) {
            QFile patched(copy + '/' + name);
            QVERIFY(patched.open(QIODevice::ReadOnly));
            QCOMPARE(patched.readAll(), Content(QFile::encodeName(name)));
        }
    }
    if (extra == Extra::Encodings) {
        // Each file is written in its own encoding, or left as it was.
        const bool replaced = args.contains("--replace") && status == 0;
        const bool cyrillic = args.contains("windows-1251");
        QCOMPARE(Content("latin.txt"), replaced && !cyrillic ? "th\xE9\n" : kLatin);
        const bool arrow = args.contains("\xE2\x86\x92");
        QCOMPARE(Content("utf16.txt"), arrow ? QByteArray("\xFF\xFE\x92!\n\0", 6)
                                       : replaced && !cyrillic
                                           ? QByteArray("\xFF\xFEt\0h\0\xE9\0\n\0", 10)
                                           : kUtf16);
        QCOMPARE(Content("cyrillic.txt"), replaced && cyrillic ? "\xF7\xE0\xE9\n" : kCyrillic);
    }
    if (extra == Extra::Symlink) {
        struct stat st {};
        QVERIFY(::lstat(Path("link.txt").constData(), &st) == 0);
        QVERIFY(S_ISLNK(st.st_mode));
        QFile target(QFile::decodeName(linkTarget));
        QVERIFY(target.open(QIODevice::ReadOnly));
        QCOMPARE(target.readAll(), QByteArray("thread outside\n"));
    }
}

void TestCommandLine::stopEndsRunAfterFileInHand_data() {
    QTest::addColumn<int>("signal");  // 0: the stop comes at the run's second yield
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("a");
    QTest::newRow("stopped after the first file")
        << 0 << QByteArray("a.txt\n") << QByteArray("one thread here\n");
    // Each signal row's signal arrives before the run: it ends before its first file.
    QTest::newRow("SIGTERM") << SIGTERM << QByteArray() << kA;
    QTest::newRow("SIGINT") << SIGINT << QByteArray() << kA;
    QTest::newRow("SIGHUP") << SIGHUP << QByteArray() << kA;
}

void TestCommandLine::stopEndsRunAfterFileInHand() {
    QFETCH(int, signal);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, a);
    bool stop = false;
    StoppingPump byCall(stop, 2);
    StopSignalPump bySignal(stop);
    if (signal != 0) {
        StopSignals::Install();
        QCOMPARE(std::raise(signal), 0);
    }
    QByteArray printed;
    QByteArray err;
    const int status = RunCommandLine(
        CommandLine::Parse({"--find", "needle", "--replace", "thread", folder_}), printed, err,
        signal != 0 ? static_cast<EventPump*>(&bySignal) : &byCall, &stop);
    QCOMPARE(printed, out);
    QCOMPARE(err, QByteArray("quillmark: stopped before every file was processed\n"));
    QCOMPARE(status, 2);
    QCOMPARE(Content("a.txt"), a);
    QCOMPARE(Content("c.htm"), kC);
}

void TestCommandLine::programRunsWithoutDisplay_data() {
    QTest::addColumn<Args>("args");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QByteArray>("outStart");  // with a fault, the whole of standard output
    QTest::addColumn<QByteArray>("err");       // null: not compared
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("input");  // standard input, or null for none
    const Args replace = {"--find", "needle", "--replace", "thread", "F"};
    QTest::newRow("--help") << Args{"--help"} << Fault::None
                            << QByteArray("Usage: quillmark [--legacy-encoding NAME] [FOLDER]\n")
                            << QByteArray() << 0 << QByteArray();
    QTest::newRow("--version") << Args{"--version"} << Fault::None
                               << QByteArray("Quillmark 1.01.0002\n") << QByteArray() << 0
                               << QByteArray();
    QTest::newRow("find") << Args{"--find", "needle", "F"} << Fault::None
                          << QByteArray("a.txt\nc.htm\n") << QByteArray() << 0 << QByteArray();
    QTest::newRow("find nothing") << Args{"--find", "absent", "F"} << Fault::None << QByteArray()
                                  << QByteArray() << 1 << QByteArray();
    QTest::newRow("an unknown option")
        << Args{"--bogus"} << Fault::None << QByteArray() << QByteArray() << 2 << QByteArray();
    QTest::newRow("--find-file - reads the search text from standard input")
        << Args{"--find-file", "-", "F"} << Fault::None << QByteArray("a.txt\nc.htm\n")
        << QByteArray() << 0 << QByteArray("needle\r\n");
    QTest::newRow("--replace-file - reads a 1 MiB replacement from standard input")
        << Args{"--find", "needle", "--replace-file", "-", "F"} << Fault::None
        << QByteArray("a.txt\nc.htm\n") << QByteArray() << 0 << kLong + "\n";
    // Regression: SIGXFSZ killed the program, and no altered file was named.
    QTest::newRow("ulimit -f: the file past it could not be written, every altered file named")
        << replace << Fault::FileSizeLimit << QByteArray("a.txt\nc.htm\nz.txt\n")
        << QByteArray("Left unchanged: m.txt (could not be written)\n") << 2 << QByteArray();
    // Regression: std::bad_alloc aborted the program, and no altered file was named.
    QTest::newRow("ulimit -v: the run ends at the file in hand, every altered file named")
        << replace << Fault::MemoryLimit << QByteArray("a.txt\nc.htm\n")
        << QByteArray(
               "Left unchanged: m.txt (not enough memory)\n"
               "quillmark: stopped before every file was processed (not enough memory)\n")
        << 2 << QByteArray();
    // Regression: the names were lost and the exit status was 0.
    QTest::newRow("standard output on a full device: said on standard error, 2")
        << Args{"--find", "needle", "F"} << Fault::FullDevice << QByteArray()
        << QByteArray("quillmark: standard output: No space left on device\n") << 2 << QByteArray();
    // Regression: SIGPIPE killed the program before its "Left unchanged:" lines.
    QTest::newRow("standard output a pipe without a reader: files left unchanged still named, 2")
        << replace << Fault::ClosedPipe << QByteArray()
        << QByteArray(
               "Left unchanged: 0.txt (binary file)\n"
               "quillmark: standard output: Broken pipe\n")
        << 2 << QByteArray();
}

void TestCommandLine::programRunsWithoutDisplay() {
    QFETCH(Args, args);
    QFETCH(Fault, fault);
    QFETCH(QByteArray, outStart);
    QFETCH(QByteArray, err);
    QFETCH(QByteArray, input);
    const QByteArray mOld = QByteArray(2 << 20, 'x') + "needle\n";
    const bool limited = fault == Fault::FileSizeLimit || fault == Fault::MemoryLimit;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    if (fault == Fault::MemoryLimit) {
        QSKIP("AddressSanitizer and ThreadSanitizer cannot start under a limit on memory");
    }
#endif
    if (limited) {
        // Under the memory limit m.txt is too large to be mapped or read; it takes no room.
        Write(Path("m.txt"), fault == Fault::FileSizeLimit ? mOld : QByteArray());
        QVERIFY(fault == Fault::FileSizeLimit ||
                ::truncate(Path("m.txt").constData(), qint64(64) << 30) == 0);
        Write(Path("z.txt"), "needle\n");
    } else if (fault == Fault::ClosedPipe) {
        Write(Path("0.txt"), QByteArray("needle\0", 7));
    }
    QMap<QByteArray, QByteArray> before;
    for (const char* name : {"a.txt", "c.htm", "z.txt"}) {
        before[name] = Content(name);
    }
    QStringList arguments;
    for (const QByteArray& arg : WithFolder(args)) {
        arguments.append(QFile::decodeName(arg));
    }
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QString::fromLatin1(name));
    }
    program.setProcessEnvironment(environment);
    // In the child, after its standard channels are set: only calls safe after a fork.
    program.setChildProcessModifier([fault] {
        ::signal(SIGPIPE, SIG_DFL);
        ::signal(SIGXFSZ, SIG_DFL);
        const rlimit mebibyte{rlim_t(1) << 20, rlim_t(1) << 20};
        const rlimit gibibyte{rlim_t(1) << 30, rlim_t(1) << 30};
        int ends[2] = {-1, -1};
        if (fault == Fault::FileSizeLimit) {
            ::setrlimit(RLIMIT_FSIZE, &mebibyte);
        } else if (fault == Fault::MemoryLimit) {
            ::setrlimit(RLIMIT_AS, &gibibyte);
        } else if (fault == Fault::FullDevice) {
            ::dup2(::open("/dev/full", O_WRONLY), STDOUT_FILENO);
        } else if (fault == Fault::ClosedPipe && ::pipe(ends) == 0) {
            ::dup2(ends[1], STDOUT_FILENO);
            ::close(ends[0]);
            ::close(ends[1]);
        }
    });
    program.start(QStringLiteral(QUILLMARK_PROGRAM), arguments);
    if (!input.isNull()) {
        program.write(input);
        program.closeWriteChannel();
    }
    QVERIFY(program.waitForFinished(60000));
    const QByteArray errWritten = program.readAllStandardError();
    QVERIFY2(program.exitStatus() == QProcess::NormalExit,
             qPrintable(QStringLiteral("ended by signal %1; standard error: %2")
                            .arg(program.exitCode())
                            .arg(QString::fromLocal8Bit(errWritten))));
    const QByteArray out = program.readAllStandardOutput();
    if (fault == Fault::None) {
        QVERIFY2(out.startsWith(outStart), qPrintable(outStart));
    } else {
        QCOMPARE(out, outStart);
    }
    if (!err.isNull()) {
        QCOMPARE(errWritten, err);
    }
    QTEST(program.exitCode(), "status");
    if (limited) {
        // Every file the run altered is named: none was altered and lost from the account.
        for (auto file = before.cbegin(); file != before.cend(); ++file) {
            QCOMPARE(out.split('\n').contains(file.key()), Content(file.key()) != file.value());
        }
    }
    if (fault == Fault::FileSizeLimit) {
        QVERIFY(Content("m.txt") == mOld);
    }
    if (args.contains("--replace-file")) {
        QVERIFY(Content("a.txt") == "one " + kLong + " here\n");
    }
}

void TestCommandLine::windowIsAProgramOfItsOwn_data() {
    QTest::addColumn<bool>("moved");  // quillmark copied away from the window program
    QTest::addColumn<QByteArray>("errHolds");
    // Only the window program loads a platform plugin: a missing one proves quillmark became it.
    QTest::newRow("the window asked for: quillmark becomes the window program")
        << false << QByteArray("no-such-platform");
    // Regression guard: a quillmark without its window program must say so, not crash.
    QTest::newRow("the window program missing: said, 2")
        << true << QByteArray("/../libexec/quillmark/quillmark-window cannot be started: ");
}

void TestCommandLine::windowIsAProgramOfItsOwn() {
    QFETCH(bool, moved);
    QFETCH(QByteArray, errHolds);
    QString program = QStringLiteral(QUILLMARK_PROGRAM);
    if (moved) {
        const QString bin = QFile::decodeName(outside_) + "/bin";
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QFile::copy(program, bin + "/quillmark"));
        program = bin + "/quillmark";
    }
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "no-such-platform");
    window.setProcessEnvironment(environment);
    window.start(program, {QFile::decodeName(folder_)});
    QVERIFY(window.waitForFinished(60000));
    const QByteArray err = window.readAllStandardError();
    QVERIFY2(err.contains(errHolds), err.constData());
    if (moved) {
        QCOMPARE(window.exitStatus(), QProcess::NormalExit);
        QCOMPARE(window.exitCode(), 2);
    }
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
