// SPDX-License-Identifier: GPL-3.0-or-later
#include "fakes.h"
#include "summary.h"

#include <QCoreApplication>
#include <QTest>
#include <QTranslator>

namespace {

RunResults ResultsWith(qint32 processed, const QByteArrayList& found) {
    RunResults results;
    results.FilesProcessed = processed;
    for (const QByteArray& name : found) {
        results.Found(name);
    }
    return results;
}

// A translation that puts every summary and reason text in brackets, so that a text that
// bypasses translation shows.
class BracketTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* = nullptr,
                      int = -1) const override {
        const QByteArray scope(context);
        if (scope != "Summary" && scope != "Reason") {
            return {};
        }
        return QLatin1Char('[') + QString::fromUtf8(sourceText) + QLatin1Char(']');
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

Q_DECLARE_METATYPE(RunResults)

class TestSummary : public QObject {
    Q_OBJECT

private slots:
    void buildSummary_data();
    void buildSummary();
    void buildUndoSummary();
    void findListIndex_data();
    void findListIndex();
    void foundEntriesAreExactlyTheHits();
    void foundEntriesSkipVanishedNames();
    void foundEntriesOfManyNamesWithLineBreaks();
};

void TestSummary::buildSummary_data() {
    QTest::addColumn<bool>("findMode");
    QTest::addColumn<RunResults>("results");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("bracketed");

    QTest::newRow("replace, two hits of five")
        << false << ResultsWith(5, {"a.txt", "b.htm"})
        << QStringLiteral(
               "Text replace complete!\r\n\r\n2 of 5 selected files were altered:"
               "\r\na.txt\r\nb.htm\r\n")
        << false;
    QTest::newRow("find, none of three")
        << true << ResultsWith(3, {})
        << QStringLiteral("Text find complete!\r\n\r\n0 of 3 selected files were found:\r\n")
        << false;
    RunResults left = ResultsWith(4, {"a.txt"});
    left.leftUnchanged = {{"ro.txt", Reason::ReadOnly}, {"\xC3\xA9.bin", Reason::BinaryFile}};
    QTest::newRow("files left unchanged follow the found list")
        << false << left
        << QStringLiteral(
               "Text replace complete!\r\n\r\n1 of 4 selected files were altered:"
               "\r\na.txt\r\n\r\nLeft unchanged:\r\nro.txt (read-only)\r\n"
               "\u00E9.bin (binary file)\r\n")
        << false;
    RunResults same = left;
    same.leftUnchanged.append({"link.txt", Reason::SameFileAs("a.txt")});
    QTest::newRow("translated: every text but names and numbers")
        << false << same
        << QStringLiteral(
               "[Text replace complete!]\r\n\r\n1[ of ]4[ selected files were altered:]"
               "\r\na.txt\r\n\r\n[Left unchanged:]\r\nro.txt ([read-only])\r\n"
               "\u00E9.bin ([binary file])\r\nlink.txt ([same file as %1])\r\n")
               .replace(QStringLiteral("%1"), QStringLiteral("a.txt"))
        << true;
    QTest::newRow("translated, find mode")
        << true << ResultsWith(3, {})
        << QStringLiteral("[Text find complete!]\r\n\r\n0[ of ]3[ selected files were found:]\r\n")
        << true;
    QTest::newRow("large counts without separators")
        << true <<
        [] {
            RunResults r;
            r.FilesAffected = 0;
            r.FilesProcessed = 123456;
            return r;
        }()
        << QStringLiteral("Text find complete!\r\n\r\n0 of 123456 selected files were found:\r\n")
        << false;
}

void TestSummary::buildSummary() {
    QFETCH(bool, findMode);
    QFETCH(RunResults, results);
    QFETCH(QString, expected);
    QFETCH(bool, bracketed);
    BracketTranslator brackets;
    if (bracketed) {
        QVERIFY(QCoreApplication::installTranslator(&brackets));
    }
    const QString summary = BuildSummary(findMode, results);
    QCoreApplication::removeTranslator(&brackets);
    QCOMPARE(summary, expected);
}

void TestSummary::buildUndoSummary() {
    RunResults results = ResultsWith(3, {"a.txt", "b.htm"});
    results.leftUnchanged = {{"c.txt", Reason::ChangedSinceTheReplace}};
    QCOMPARE(BuildUndoSummary(results),
             QStringLiteral("Undo complete!\r\n\r\n2 of 3 altered files were restored:"
                            "\r\na.txt\r\nb.htm\r\n\r\nLeft unchanged:\r\n"
                            "c.txt (changed since the replace)\r\n"));
}

void TestSummary::findListIndex_data() {
    QTest::addColumn<QByteArrayList>("entries");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("expected");
    QTest::newRow("empty list") << QByteArrayList{} << QByteArray("a") << -1;
    QTest::newRow("one entry that matches") << QByteArrayList{"a.txt"} << QByteArray("a.txt") << 0;
    QTest::newRow("case ignored") << QByteArrayList{"x", "Notes.TXT"} << QByteArray("notes.txt")
                                  << 1;
    QTest::newRow("exact entry wins over a case variant after it")
        << QByteArrayList{"a.txt", "A.txt"} << QByteArray("a.txt") << 0;
    QTest::newRow("exact entry wins over a case variant before it")
        << QByteArrayList{"A.txt", "a.txt"} << QByteArray("a.txt") << 1;
    QTest::newRow("without an exact entry the last case variant wins")
        << QByteArrayList{"A.TXT", "a.Txt", "b"} << QByteArray("a.txt") << 1;
    QTest::newRow("not listed") << QByteArrayList{"a", "b"} << QByteArray("c") << -1;
    QTest::newRow("folded as the search folds: the Kelvin sign is a k")
        << QByteArrayList{"x", "\xE2\x84\xAA.txt"} << QByteArray("k.TXT") << 1;
    QTest::newRow("a name that is not UTF-8 keeps its raw byte when folded")
        << QByteArrayList{"CAF\xE9", "CAF\xC9"} << QByteArray("caf\xC9") << 1;
}

void TestSummary::findListIndex() {
    QFETCH(QByteArrayList, entries);
    QFETCH(QByteArray, name);
    QFETCH(int, expected);
    const FakeFileList list("/folder", entries);
    QCOMPARE(FindListIndex(list, name), expected);
}

void TestSummary::foundEntriesAreExactlyTheHits() {
    const FakeFileList list("/folder", {"a.txt", "B.TXT", "c.txt", "d.txt"});
    QCOMPARE(FoundEntries(list, ResultsWith(4, {"a.txt", "b.txt"})), (QList<int>{0, 1}));
}

void TestSummary::foundEntriesSkipVanishedNames() {
    // The list read again after the run: b.txt has gone, c.txt is now at 1.
    const FakeFileList list("/folder", {"a.txt", "c.txt"});
    QCOMPARE(FoundEntries(list, ResultsWith(3, {"a.txt", "b.txt", "c.txt"})), (QList<int>{0, 1}));
}

void TestSummary::foundEntriesOfManyNamesWithLineBreaks() {
    QByteArrayList names;
    for (int i = 0; i < 40000; ++i) {
        names.append("file" + QByteArray::number(i) + ".txt");
    }
    names.append("line\r\nbreak.txt");
    names.append("lone\nfeed.txt");
    const FakeFileList list("/folder", names);
    QByteArrayList hits;
    for (int i = 0; i < names.size(); i += 2) {
        hits.append(names[i]);
    }
    hits.append("lone\nfeed.txt");
    QList<int> expected;
    for (int i = 0; i < names.size(); i += 2) {
        expected.append(i);
    }
    expected.append(int(names.size()) - 1);
    QCOMPARE(FoundEntries(list, ResultsWith(int(names.size()), hits)), expected);
}

QTEST_GUILESS_MAIN(TestSummary)
#include "tst_summary.moc"
