// SPDX-License-Identifier: GPL-3.0-or-later
#include "batchrun.h"
#include "fakes.h"
#include "mappedfile.h"
#include "pathsyntax.h"
#include "posixfilestore.h"
#include "testfiles.h"
#include "undolastreplace.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <csignal>
#include <numeric>

namespace {

QString LeftText(const RunResults& results) {
    QStringList lines;
    for (const LeftUnchanged& file : results.leftUnchanged) {
        lines << QString::fromUtf8(file.name) + " (" + ReasonText(file.reason) + ")";
    }
    return lines.join('|');
}

// A folder of files and a run over it with the real file store.
struct Fixture {
    QTemporaryDir dir;
    RunRequest request = Texts("needle", "thread");
    PosixFileStore files;
    RecordingObserver observer;
    RunResults results;

    QString PathOf(const QString& name) const { return dir.filePath(name); }

    UndoRecord undo;

    void Run(FakeFileList& list, bool caseSensitive = false, bool selectedOnly = false,
             bool findOnly = false) {
        request.caseSensitive = caseSensitive;
        request.selectedOnly = selectedOnly;
        request.findOnly = findOnly;
        RunEnvironment env{files, &observer, &undo};
        ProcessFileList(env, list, request, results);
    }

    void Undo() {
        RunEnvironment env{files, &observer};
        UndoLastReplace(env, undo, results);
    }

    FakeFileList ListOf(const QByteArrayList& names) const {
        return FakeFileList(QFile::encodeName(dir.path()), names);
    }
};

}  // namespace

class TestBatchRun : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(MappedFile::InstallBusErrorHandler()); }
    void joinPath_data();
    void joinPath();
    void emptyList();
    void replacesAndReports();
    void bytesOutsideMatchesKept_data();
    void bytesOutsideMatchesKept();
    void findMode_data();
    void findMode();
    void selectedOnly_data();
    void selectedOnly();
    void unchangedFileIsNotRewritten();
    void filesLeftUnchanged();
    void largeFileWithNulIsLeftAlone_data();
    void largeFileWithNulIsLeftAlone();
    void multiLineSearchKeepsEachFilesLineBreaks();
    void symlinkTargetRewrittenLinkKept();
    void shortWriteKeepsOriginal();
    void changedBetweenReadAndSave();
    void textsChangedDuringRunHoldForLaterFiles();
    void stopsAfterTheFileInHand();
    void toldOfEveryEntryAndEachProcessedFile();
    void orderKeptWhileReadingAhead_data();
    void orderKeptWhileReadingAhead();
    void undoPutsBackOnlyWhatTheRunWrote_data();
    void undoPutsBackOnlyWhatTheRunWrote();
};

void TestBatchRun::joinPath_data() {
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("root") << QByteArray("/") << QByteArray("/x.txt");
    QTest::newRow("folder") << QByteArray("/home/docs") << QByteArray("/home/docs/x.txt");
    QTest::newRow("trailing separator")
        << QByteArray("/home/docs/") << QByteArray("/home/docs/x.txt");
}

void TestBatchRun::joinPath() {
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, expected);
    QCOMPARE(JoinPath(path, "x.txt"), expected);
}

void TestBatchRun::emptyList() {
    Fixture f;
    f.results.FilesAffected = 9;
    f.results.leftUnchanged.append({"old", Reason::ReadOnly});
    FakeFileList list = f.ListOf({});
    f.Run(list);
    QCOMPARE(f.results.FilesAffected, 0);
    QCOMPARE(f.results.FilesProcessed, 0);
    QCOMPARE(FoundList(f.results), QStringLiteral("\r\n"));
    QVERIFY(f.results.leftUnchanged.isEmpty());
    QCOMPARE(f.observer.told, (QByteArrayList{"begin 0", "end"}));
}

void TestBatchRun::replacesAndReports() {
    Fixture f;
    WriteFile(f.PathOf("a.txt"), "a needle\n");
    WriteFile(f.PathOf("b.txt"), "no hit\n");
    WriteFile(f.PathOf("c.txt"), "NEEDLE and Needle\n");
    FakeFileList list = f.ListOf({"a.txt", "b.txt", "c.txt"});
    f.Run(list);

    QCOMPARE(ReadFile(f.PathOf("a.txt")), QByteArray("a thread\n"));
    QCOMPARE(ReadFile(f.PathOf("b.txt")), QByteArray("no hit\n"));
    QCOMPARE(ReadFile(f.PathOf("c.txt")), QByteArray("thread and thread\n"));
    QCOMPARE(f.results.FilesAffected, 2);
    QCOMPARE(f.results.FilesProcessed, 3);
    QCOMPARE(f.results.foundNames, (QByteArrayList{"a.txt", "c.txt"}));
    QCOMPARE(f.observer.Told("found"), (QByteArrayList{"found a.txt", "found c.txt"}));
    QCOMPARE(f.observer.Told("reached"), (QByteArrayList{"reached 0", "reached 1", "reached 2"}));
    QCOMPARE(f.observer.told.last(), QByteArray("end"));
    QCOMPARE(Entries(f.dir.path()), (QStringList{"a.txt", "b.txt", "c.txt"}));
}

void TestBatchRun::bytesOutsideMatchesKept_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("CRLF line ends")
        << QByteArray("x needle\r\ny\r\n") << QByteArray("x thread\r\ny\r\n");
    QTest::newRow("byte order mark")
        << QByteArray("\xEF\xBB\xBFneedle") << QByteArray("\xEF\xBB\xBFthread");
    QTest::newRow("invalid UTF-8 around the match")
        << QByteArray("\xFE\xFEneedle\xC3(\x80") << QByteArray("\xFE\xFEthread\xC3(\x80");
    QTest::newRow("no final line break") << QByteArray("needle") << QByteArray("thread");
    QTest::newRow("Latin-1 text") << QByteArray("caf\xE9 needle") << QByteArray("caf\xE9 thread");
    QTest::newRow("empty file") << QByteArray() << QByteArray();
    // A UTF-16 file holds NULs and is text all the same.
    QTest::newRow("UTF-16LE with CRLF") << QByteArray("\xFF\xFEn\0e\0e\0d\0l\0e\0\r\0\n\0", 18)
                                        << QByteArray("\xFF\xFEt\0h\0r\0e\0a\0d\0\r\0\n\0", 18);
    QTest::newRow("UTF-16BE") << QByteArray("\xFE\xFF\0N\0e\0e\0d\0l\0e", 14)
                              << QByteArray("\xFE\xFF\0t\0h\0r\0e\0a\0d", 14);
}

void TestBatchRun::bytesOutsideMatchesKept() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, expected);
    Fixture f;
    WriteFile(f.PathOf("f.txt"), content);
    FakeFileList list = f.ListOf({"f.txt"});
    f.Run(list);
    QCOMPARE(ReadFile(f.PathOf("f.txt")), expected);
    QCOMPARE(f.results.FilesAffected, content == expected ? 0 : 1);
    QCOMPARE(f.results.FilesProcessed, 1);
}

void TestBatchRun::findMode_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<qint16>("caseSensitive");
    QTest::addColumn<bool>("found");
    // The design's changed-content test would miss these two: found means present.
    QTest::newRow("ABC found by abc ignoring case although replacing by ABC changes nothing")
        << QByteArray("ABC") << QByteArray("abc") << QByteArray("ABC") << qint16(0) << true;
    QTest::newRow("replacement equal to the search text")
        << QByteArray("x abc") << QByteArray("abc") << QByteArray("abc") << qint16(1) << true;
    QTest::newRow("case-sensitive miss")
        << QByteArray("ABC") << QByteArray("abc") << QByteArray("x") << qint16(1) << false;
    QTest::newRow("binary file can be found")
        << QByteArray("a\0b needle", 10) << QByteArray("needle") << QByteArray("x") << qint16(1)
        << true;
    QTest::newRow("two lines typed with LF found in a CRLF file")
        << QByteArray("x\r\none\r\nTWO\r\n") << QByteArray("one\ntwo") << QByteArray("x")
        << qint16(0) << true;
    QTest::newRow("two lines not found across a lone CR")
        << QByteArray("one\rtwo") << QByteArray("one\ntwo") << QByteArray("x") << qint16(0)
        << false;
    QTest::newRow("Windows-1252 found ignoring case")
        << QByteArray("un caf\xE9") << QByteArray("CAF\xC3\x89") << QByteArray("x") << qint16(0)
        << true;
    QTest::newRow("UTF-16LE found case-sensitive")
        << QByteArray(
               "\xFF\xFE"
               "c\0a\0f\0\xE9\0",
               10)
        << QByteArray("caf\xC3\xA9") << QByteArray("x") << qint16(1) << true;
    QTest::newRow("UTF-16 without a byte-order mark is not text")
        << QByteArray("c\0a\0f\0\xE9\0", 8) << QByteArray("caf\xC3\xA9") << QByteArray("x")
        << qint16(0) << false;
}

void TestBatchRun::findMode() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, replacement);
    QFETCH(qint16, caseSensitive);
    QFETCH(bool, found);
    Fixture f;
    f.request.findText = find;
    f.request.replaceText = replacement;
    WriteFile(f.PathOf("f.txt"), content);
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(f.PathOf("f.txt")).constData(), &before), 0);
    FakeFileList list = f.ListOf({"f.txt"});
    f.Run(list, caseSensitive != 0, false, true);
    QCOMPARE(f.results.FilesAffected, found ? 1 : 0);
    QCOMPARE(f.results.foundNames, found ? QByteArrayList{"f.txt"} : QByteArrayList{});
    QCOMPARE(ReadFile(f.PathOf("f.txt")), content);
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(f.PathOf("f.txt")).constData(), &after), 0);
    QCOMPARE(after.st_ino, before.st_ino);
}

void TestBatchRun::selectedOnly_data() {
    QTest::addColumn<bool>("on");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QByteArray>("changed");
    QTest::newRow("off: every entry") << false << QList<int>{1} << QByteArray("abc");
    QTest::newRow("on: the selected entry only") << true << QList<int>{1} << QByteArray("b");
    QTest::newRow("on with nothing selected") << true << QList<int>{} << QByteArray();
}

void TestBatchRun::selectedOnly() {
    QFETCH(bool, on);
    QFETCH(QList<int>, selected);
    QFETCH(QByteArray, changed);
    Fixture f;
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(f.PathOf(name), "needle");
    }
    FakeFileList list = f.ListOf({"a", "b", "c"});
    for (int i : selected) {
        list.SetSelected(i, true);
    }
    f.Run(list, false, on, false);
    for (const char* name : {"a", "b", "c"}) {
        QCOMPARE(ReadFile(f.PathOf(name)),
                 QByteArray(changed.contains(name) ? "thread" : "needle"));
    }
    QCOMPARE(f.results.FilesProcessed, changed.size());
    QCOMPARE(f.results.FilesAffected, changed.size());
    // Skipped entries are reached too.
    QCOMPARE(f.observer.Told("reached"), (QByteArrayList{"reached 0", "reached 1", "reached 2"}));
}

void TestBatchRun::unchangedFileIsNotRewritten() {
    Fixture f;
    WriteFile(f.PathOf("same.txt"), "needle and more");
    f.request.replaceText = "needle";  // replacing changes nothing
    WriteFile(f.PathOf("none.txt"), "nothing here");
    const QByteArray same = QFile::encodeName(f.PathOf("same.txt"));
    const QByteArray none = QFile::encodeName(f.PathOf("none.txt"));
    struct stat sameBefore {
    }, noneBefore{};
    QCOMPARE(::stat(same.constData(), &sameBefore), 0);
    QCOMPARE(::stat(none.constData(), &noneBefore), 0);
    FakeFileList list = f.ListOf({"same.txt", "none.txt"});
    f.Run(list);
    struct stat sameAfter {
    }, noneAfter{};
    QCOMPARE(::stat(same.constData(), &sameAfter), 0);
    QCOMPARE(::stat(none.constData(), &noneAfter), 0);
    QCOMPARE(sameAfter.st_ino, sameBefore.st_ino);
    QCOMPARE(noneAfter.st_ino, noneBefore.st_ino);
    QCOMPARE(sameAfter.st_mtim.tv_nsec, sameBefore.st_mtim.tv_nsec);
    QCOMPARE(f.results.FilesAffected, 0);
    QCOMPARE(f.results.FilesProcessed, 2);
}

void TestBatchRun::filesLeftUnchanged() {
    Fixture f;
    WriteFile(f.PathOf("ok.txt"), "needle");
    WriteFile(f.PathOf("readonly.txt"), "needle");
    QVERIFY(QFile::setPermissions(f.PathOf("readonly.txt"), QFile::ReadOwner | QFile::ReadGroup));
    WriteFile(f.PathOf("binary.bin"), QByteArray("needle\0", 7));
    WriteFile(f.PathOf("linked.txt"), "needle");
    QCOMPARE(::link(QFile::encodeName(f.PathOf("linked.txt")).constData(),
                    QFile::encodeName(f.PathOf("other-link")).constData()),
             0);
    QVERIFY(QDir(f.dir.path()).mkdir("folder.txt"));
    WriteFile(f.PathOf("nohit-readonly.txt"), "nothing");
    QVERIFY(QFile::setPermissions(f.PathOf("nohit-readonly.txt"), QFile::ReadOwner));

    FakeFileList list = f.ListOf({"binary.bin", "folder.txt", "gone.txt", "linked.txt",
                                  "nohit-readonly.txt", "ok.txt", "readonly.txt"});
    f.Run(list);

    QCOMPARE(LeftText(f.results),
             QStringLiteral("binary.bin (binary file)|folder.txt (not a regular file)|"
                            "gone.txt (could not be read)|linked.txt (has several hard links)|"
                            "readonly.txt (read-only)"));
    QCOMPARE(f.results.FilesAffected, 1);
    QCOMPARE(f.results.FilesProcessed, 7);
    QCOMPARE(f.results.foundNames, QByteArrayList{"ok.txt"});
    QCOMPARE(ReadFile(f.PathOf("readonly.txt")), QByteArray("needle"));
    QCOMPARE(ReadFile(f.PathOf("binary.bin")), QByteArray("needle\0", 7));
    QCOMPARE(ReadFile(f.PathOf("linked.txt")), QByteArray("needle"));
    QCOMPARE(ReadFile(f.PathOf("other-link")), QByteArray("needle"));

    // In find mode only an unreadable file is reported.
    f.Run(list, false, false, true);
    QCOMPARE(LeftText(f.results), QStringLiteral("folder.txt (could not be read)|"
                                                 "gone.txt (could not be read)"));
    QCOMPARE(f.results.FilesAffected, 3);
}

// One run over an LF file and a CRLF file: each keeps its own line breaks.
void TestBatchRun::multiLineSearchKeepsEachFilesLineBreaks() {
    Fixture f;
    f.request.findText = "one\ntwo";
    f.request.replaceText = "1\n2\n3";
    WriteFile(f.PathOf("lf.txt"), "zero\none\ntwo\n");
    WriteFile(f.PathOf("crlf.txt"), "zero\r\none\r\ntwo\r\n");
    FakeFileList list = f.ListOf({"crlf.txt", "lf.txt"});
    f.Run(list);
    QCOMPARE(ReadFile(f.PathOf("lf.txt")), QByteArray("zero\n1\n2\n3\n"));
    QCOMPARE(ReadFile(f.PathOf("crlf.txt")), QByteArray("zero\r\n1\r\n2\r\n3\r\n"));
    QCOMPARE(f.results.FilesAffected, 2);
}

void TestBatchRun::largeFileWithNulIsLeftAlone_data() {
    // A file is looked at for a NUL a MiB at a time as it is written, from just after its one
    // occurrence; one refused before it is written, all at once.
    constexpr qsizetype kSize = (qsizetype(3) << 20) + 2;
    constexpr qsizetype kChunkEnd = 106 + (qsizetype(1) << 20);
    QTest::addColumn<qsizetype>("size");
    QTest::addColumn<qsizetype>("nulAt");  // -1: none
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("no NUL") << kSize << qsizetype(-1) << false;
    QTest::newRow("first byte") << kSize << qsizetype(0) << false;
    QTest::newRow("just before the occurrence") << kSize << qsizetype(99) << false;
    QTest::newRow("last byte of a chunk") << kSize << kChunkEnd - 1 << false;
    QTest::newRow("first byte of the next chunk") << kSize << kChunkEnd << false;
    QTest::newRow("last byte") << kSize << kSize - 1 << false;
    QTest::newRow("odd size, last byte") << kSize + 1 << kSize << false;
    QTest::newRow("read-only, last byte") << kSize << kSize - 1 << true;
}

void TestBatchRun::largeFileWithNulIsLeftAlone() {
    QFETCH(qsizetype, size);
    QFETCH(qsizetype, nulAt);
    QFETCH(bool, readOnly);
    Fixture f;
    QByteArray content(size, 'x');
    content.replace(100, 6, "needle");
    if (nulAt >= 0) {
        content[nulAt] = '\0';
    }
    WriteFile(f.PathOf("large.txt"), content);
    if (readOnly) {
        QVERIFY(QFile::setPermissions(f.PathOf("large.txt"), QFile::ReadOwner));
    }
    FakeFileList list = f.ListOf({"large.txt"});
    f.Run(list);
    if (nulAt >= 0) {
        QCOMPARE(LeftText(f.results), QStringLiteral("large.txt (binary file)"));
        QCOMPARE(f.results.FilesAffected, 0);
        QVERIFY(ReadFile(f.PathOf("large.txt")) == content);
        QCOMPARE(
            QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"large.txt"});
    } else {
        QCOMPARE(f.results.FilesAffected, 1);
        QVERIFY(ReadFile(f.PathOf("large.txt")) == content.replace(100, 6, "thread"));
    }
}

void TestBatchRun::symlinkTargetRewrittenLinkKept() {
    Fixture f;
    QVERIFY(QDir(f.dir.path()).mkdir("real"));
    WriteFile(f.PathOf("real/target.txt"), "needle");
    QVERIFY(QFile::link("real/target.txt", f.PathOf("hop.txt")));
    QVERIFY(QFile::link("hop.txt", f.PathOf("link.txt")));
    FakeFileList list = f.ListOf({"link.txt"});
    f.Run(list);
    QCOMPARE(f.results.FilesAffected, 1);
    QCOMPARE(ReadFile(f.PathOf("real/target.txt")), QByteArray("thread"));
    QVERIFY(QFileInfo(f.PathOf("link.txt")).isSymLink());
    QVERIFY(QFileInfo(f.PathOf("hop.txt")).isSymLink());
    QCOMPARE(Entries(f.PathOf("real")), QStringList{"target.txt"});
}

void TestBatchRun::shortWriteKeepsOriginal() {
    Fixture f;
    const QByteArray original = "needle" + QByteArray(5000, 'x');
    WriteFile(f.PathOf("big.txt"), original);
    f.request.replaceText = "a much longer thread";
    FakeFileList list = f.ListOf({"big.txt"});

    rlimit old{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old;
    limited.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    f.Run(list);
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, oldHandler);

    QCOMPARE(ReadFile(f.PathOf("big.txt")), original);
    QCOMPARE(LeftText(f.results), QStringLiteral("big.txt (could not be written)"));
    QCOMPARE(f.results.FilesAffected, 0);
    QCOMPARE(Entries(f.dir.path()), QStringList{"big.txt"});
}

void TestBatchRun::changedBetweenReadAndSave() {
    Fixture f;
    WriteFile(f.PathOf("busy.txt"), "needle");
    f.files.SetBeforeRenameHook([](const QByteArray& target) {
        QFile file(QFile::decodeName(target));
        QVERIFY(file.open(QIODevice::Append));
        file.write(" typed elsewhere");
    });
    FakeFileList list = f.ListOf({"busy.txt"});
    f.Run(list);
    QCOMPARE(ReadFile(f.PathOf("busy.txt")), QByteArray("needle typed elsewhere"));
    QCOMPARE(LeftText(f.results), QStringLiteral("busy.txt (changed by another program)"));
    QCOMPARE(Entries(f.dir.path()), QStringList{"busy.txt"});
}

void TestBatchRun::textsChangedDuringRunHoldForLaterFiles() {
    Fixture f;
    for (const char* name : {"1", "2", "3"}) {
        WriteFile(f.PathOf(name), "needle");
    }
    // Clear pressed after the first file: the rest run with empty texts.
    f.observer.onYield = [&](int call) {
        if (call == 2) {
            f.request.ChangeTexts(QByteArray(), QByteArray());
        }
    };
    FakeFileList list = f.ListOf({"1", "2", "3"});
    f.Run(list);
    QCOMPARE(ReadFile(f.PathOf("1")), QByteArray("thread"));
    QCOMPARE(ReadFile(f.PathOf("2")), QByteArray("needle"));
    QCOMPARE(ReadFile(f.PathOf("3")), QByteArray("needle"));
    QCOMPARE(f.results.FilesProcessed, 3);
    QCOMPARE(f.results.FilesAffected, 1);
}

void TestBatchRun::stopsAfterTheFileInHand() {
    Fixture f;
    for (const char* name : {"1", "2", "3"}) {
        WriteFile(f.PathOf(name), "needle");
    }
    f.observer.stopAt = 1;
    FakeFileList list = f.ListOf({"1", "2", "3"});
    f.Run(list);
    QCOMPARE(ReadFile(f.PathOf("1")), QByteArray("thread"));
    QCOMPARE(ReadFile(f.PathOf("2")), QByteArray("needle"));
    QCOMPARE(f.results.FilesProcessed, 1);
    QCOMPARE(f.observer.told,
             (QByteArrayList{"begin 3", "reached 0", "processed 0 of 3", "found 1", "end"}));
}

// Every entry is reached, and each processed file told with the number of entries for the
// progress bar; an entry that does not qualify is only reached. A find tells a hit at once.
void TestBatchRun::toldOfEveryEntryAndEachProcessedFile() {
    Fixture f;
    for (const char* name : {"a", "b", "c"}) {
        WriteFile(f.PathOf(name), "x");
    }
    WriteFile(f.PathOf("c"), "needle");
    FakeFileList list = f.ListOf({"a", "b", "c"});
    list.SetSelected(0, true);
    list.SetSelected(2, true);
    f.Run(list, false, true, true);
    QCOMPARE(f.observer.told,
             (QByteArrayList{"begin 3", "reached 0", "processed 0 of 3", "reached 1", "reached 2",
                             "found c", "processed 2 of 3", "end"}));
}

void TestBatchRun::orderKeptWhileReadingAhead_data() {
    QTest::addColumn<bool>("findOnly");
    QTest::newRow("replace") << false;
    QTest::newRow("find, large files searched as they come from the disk") << true;
}

// Enough files for the store to read ahead and then rest, and two large files whose only hit
// lies past their first pages: the report and the current-entry mark keep the list's order.
// Each name is told as soon as it is known: a hit found before the next entry is reached.
void TestBatchRun::orderKeptWhileReadingAhead() {
    QFETCH(bool, findOnly);
    Fixture f;
    QByteArrayList names;
    QByteArrayList found;
    for (int i = 0; i < 150; ++i) {
        const QByteArray name = QByteArray::number(1000 + i) + ".txt";
        names.append(name);
        QByteArray content(i == 40 || i == 90 ? 5 << 20 : 100, 'x');
        if (i % 7 == 0 || i == 40 || i == 90) {
            content.replace(content.size() - 6, 6, "needle");
            found.append(name);
        }
        WriteFile(f.PathOf(QString::fromLatin1(name)), content);
    }
    FakeFileList list = f.ListOf(names);
    f.Run(list, true, false, findOnly);
    QCOMPARE(f.results.foundNames, found);
    QByteArrayList reached;
    QByteArrayList told;
    for (int i = 0; i < names.size(); ++i) {
        reached.append("reached " + QByteArray::number(i));
        told.append(found.contains(names[i]) ? "found " + names[i] : QByteArray());
    }
    told.removeAll(QByteArray());
    QCOMPARE(f.observer.Told("reached"), reached);
    QCOMPARE(f.observer.Told("found"), told);
    if (findOnly) {
        // A hit is told before the entry after it is reached.
        for (const QByteArray& name : found) {
            const qsizetype at = f.observer.told.indexOf("found " + name);
            const int entry = int(names.indexOf(name));
            QVERIFY(at < f.observer.told.indexOf("reached " + QByteArray::number(entry + 1)) ||
                    entry + 1 == names.size());
        }
    }
    QCOMPARE(ReadFile(f.PathOf("1040.txt")).endsWith("needle"), findOnly);
}

enum class AfterReplace {
    Nothing,
    Appends,
    RewritesInPlaceKeepingTimes,
    RenamesOver,
    Deletes,
    Renames,
    Chmods
};

void TestBatchRun::undoPutsBackOnlyWhatTheRunWrote_data() {
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<AfterReplace>("after");
    QTest::addColumn<QString>("left");
    const QByteArray text = "needle at the start, NEEDLEneedle side by side, Needle\r\nneedle";
    QTest::newRow("every occurrence back with its own case")
        << QByteArray("needle") << QByteArray("thread") << text << AfterReplace::Nothing
        << QString();
    QTest::newRow("replaced by nothing")
        << QByteArray("needle") << QByteArray() << text << AfterReplace::Nothing << QString();
    QTest::newRow("replaced by a longer text, binary-looking bytes kept")
        << QByteArray("needle") << QByteArray("a much longer thread")
        << QByteArray("\xFE\xFEneedle\x80") << AfterReplace::Nothing << QString();
    QTest::newRow("a UTF-16LE file") << QByteArray("caf\xC3\xA9") << QByteArray("th\xC3\xA9")
                                     << QByteArray(
                                            "\xFF\xFE"
                                            "c\0a\0f\0\xE9\0",
                                            10)
                                     << AfterReplace::Nothing << QString();
    QTest::newRow("a Windows-1252 file")
        << QByteArray("CAF\xC3\x89") << QByteArray("th\xC3\xA9")
        << QByteArray("un caf\xE9 ou caf\xE9?") << AfterReplace::Nothing << QString();
    QTest::newRow("two lines in a CRLF file")
        << QByteArray("one\ntwo") << QByteArray("1\n2\n3")
        << QByteArray("zero\r\nONE\r\ntwo\r\none\ntwo\n") << AfterReplace::Nothing << QString();
    QTest::newRow("edited since") << QByteArray("needle") << QByteArray("thread") << text
                                  << AfterReplace::Appends << "f.txt (changed since the replace)";
    QTest::newRow("edited in place, times put back")
        << QByteArray("needle") << QByteArray("thread") << text
        << AfterReplace::RewritesInPlaceKeepingTimes << "f.txt (changed since the replace)";
    QTest::newRow("replaced by another file with the same text")
        << QByteArray("needle") << QByteArray("thread") << text << AfterReplace::RenamesOver
        << "f.txt (changed since the replace)";
    QTest::newRow("mode changed since")
        << QByteArray("needle") << QByteArray("thread") << text << AfterReplace::Chmods
        << "f.txt (changed since the replace)";
    QTest::newRow("deleted") << QByteArray("needle") << QByteArray("thread") << text
                             << AfterReplace::Deletes << "f.txt (no longer there)";
    QTest::newRow("renamed") << QByteArray("needle") << QByteArray("thread") << text
                             << AfterReplace::Renames << "f.txt (no longer there)";
}

// An undo puts back the bytes and metadata of each file the run altered, through a symlink
// where the run went through one, and leaves alone a file that no longer holds what the run
// wrote; the file the run did not alter is not touched.
void TestBatchRun::undoPutsBackOnlyWhatTheRunWrote() {
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, replacement);
    QFETCH(QByteArray, content);
    QFETCH(AfterReplace, after);
    QFETCH(QString, left);
    Fixture f;
    f.request.findText = find;
    f.request.replaceText = replacement;
    WriteFile(f.PathOf("f.txt"), content);
    WriteFile(f.PathOf("target.txt"), content);
    QVERIFY(QFile::link("target.txt", f.PathOf("link.txt")));
    WriteFile(f.PathOf("other.txt"), "no hit");
    QCOMPARE(::chmod(QFile::encodeName(f.PathOf("f.txt")).constData(), 0640), 0);
    QCOMPARE(::setxattr(QFile::encodeName(f.PathOf("f.txt")).constData(), "user.kept", "v", 1, 0),
             0);
    FakeFileList list = f.ListOf({"f.txt", "link.txt", "other.txt"});
    f.Run(list);
    QCOMPARE(f.results.FilesAffected, 2);
    QCOMPARE(f.undo.Count(), 2);

    const QString path = f.PathOf("f.txt");
    const QByteArray written = ReadFile(path);
    switch (after) {
        case AfterReplace::Nothing:
            break;
        case AfterReplace::Appends: {
            QFile file(path);
            QVERIFY(file.open(QIODevice::Append));
            file.write("typed since");
            break;
        }
        case AfterReplace::RewritesInPlaceKeepingTimes: {
            struct stat st {};
            QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
            QByteArray edited = written;
            edited[0] = edited[0] == 'X' ? 'Y' : 'X';
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            file.write(edited);
            file.close();
            const timespec times[2] = {st.st_atim, st.st_mtim};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
            break;
        }
        case AfterReplace::RenamesOver:
            WriteFile(f.PathOf("copy"), written);
            QVERIFY(::rename(QFile::encodeName(f.PathOf("copy")).constData(),
                             QFile::encodeName(path).constData()) == 0);
            break;
        case AfterReplace::Chmods:
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0600), 0);
            break;
        case AfterReplace::Deletes:
            QVERIFY(QFile::remove(path));
            break;
        case AfterReplace::Renames:
            QVERIFY(QFile::rename(path, f.PathOf("moved.txt")));
            break;
    }
    const QByteArray leftThere =
        ReadFile(after == AfterReplace::Renames ? f.PathOf("moved.txt") : path);
    f.Undo();

    QCOMPARE(LeftText(f.results), left);
    QCOMPARE(f.results.FilesProcessed, 2);
    const QByteArrayList restored =
        left.isEmpty() ? QByteArrayList{"f.txt", "link.txt"} : QByteArrayList{"link.txt"};
    QCOMPARE(f.results.foundNames, restored);
    QCOMPARE(ReadFile(f.PathOf("target.txt")), content);
    QVERIFY(QFileInfo(f.PathOf("link.txt")).isSymLink());
    QCOMPARE(ReadFile(f.PathOf("other.txt")), QByteArray("no hit"));
    QVERIFY(f.undo.IsEmpty());
    if (!left.isEmpty()) {
        QCOMPARE(ReadFile(after == AfterReplace::Renames ? f.PathOf("moved.txt") : path),
                 leftThere);
        return;
    }
    QCOMPARE(ReadFile(path), content);
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    char value[8] = {};
    QCOMPARE(::getxattr(QFile::encodeName(path).constData(), "user.kept", value, sizeof value),
             ssize_t(1));
    QCOMPARE(Entries(f.dir.path()), (QStringList{"f.txt", "link.txt", "other.txt", "target.txt"}));
}

QTEST_GUILESS_MAIN(TestBatchRun)
#include "tst_batchrun.moc"
