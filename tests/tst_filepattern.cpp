// SPDX-License-Identifier: GPL-3.0-or-later
// The file-name filter: ";"-separated wildcards matched with case ignored.
#include "filepattern.h"

#include <QtTest>

class TestFilePattern : public QObject {
    Q_OBJECT

private slots:
    void matches_data();
    void matches();
    void rejects_data();
    void rejects();
};

void TestFilePattern::matches_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("expected");

    const QString defaults = QStringLiteral("*.txt;*.doc;*.htm;*.asp;*.html;*.xml");
    QTest::newRow("default filter takes .txt") << defaults << QByteArray("a.txt") << true;
    QTest::newRow("default filter ignores case") << defaults << QByteArray("B.HTM") << true;
    QTest::newRow("default filter leaves out .ini") << defaults << QByteArray("notes.ini") << false;
    QTest::newRow("extension must be whole") << defaults << QByteArray("a.txt.bak") << false;
    QTest::newRow(".htm does not take .html by itself")
        << QStringLiteral("*.htm") << QByteArray("a.html") << false;
    QTest::newRow("question mark is one character")
        << QStringLiteral("?.txt") << QByteArray("ab.txt") << false;
    QTest::newRow("question mark matches one")
        << QStringLiteral("?.txt") << QByteArray("a.txt") << true;
    QTest::newRow("set") << QStringLiteral("[ab].txt") << QByteArray("b.txt") << true;
    QTest::newRow("set excludes others")
        << QStringLiteral("[ab].txt") << QByteArray("c.txt") << false;
    QTest::newRow("empty filter lists everything") << QString() << QByteArray("x") << true;
    QTest::newRow("only separators list everything")
        << QStringLiteral(";;") << QByteArray("x") << true;
    QTest::newRow("*.* takes a name without a dot")
        << QStringLiteral("*.*") << QByteArray("readme") << true;
    QTest::newRow("spaces around a pattern do not count")
        << QStringLiteral("*.txt; *.doc") << QByteArray("a.doc") << true;
    QTest::newRow("dot is literal") << QStringLiteral("a.txt") << QByteArray("abtxt") << false;
    QTest::newRow("regex characters are literal")
        << QStringLiteral("a+(1).txt") << QByteArray("a+(1).txt") << true;
    QTest::newRow("name that is not UTF-8 still matches its extension")
        << QStringLiteral("*.txt") << QByteArray("caf\xe9.txt") << true;
    QTest::newRow("non-ASCII case folding")
        << QStringLiteral("ÄRGER.txt") << QByteArray("ärger.TXT") << true;
    QTest::newRow("a range of capitals takes small letters")
        << QStringLiteral("[A-C]*") << QByteArray("b.txt") << true;
    QTest::newRow("a range of small letters takes capitals")
        << QStringLiteral("[a-c]*") << QByteArray("B.txt") << true;
    QTest::newRow("a range leaves out what lies beyond it")
        << QStringLiteral("[a-c]*") << QByteArray("d.txt") << false;
    QTest::newRow("a negated set with !")
        << QStringLiteral("[!a]*") << QByteArray("A.txt") << false;
    QTest::newRow("a negated set with ^") << QStringLiteral("[^a]*") << QByteArray("b.txt") << true;
    QTest::newRow("] first in a set is a member")
        << QStringLiteral("[]x].txt") << QByteArray("].txt") << true;
    QTest::newRow("a star gives back what a later part needs")
        << QStringLiteral("*.t*t") << QByteArray("a.txt.tot") << true;
    QTest::newRow("a star does not make up a missing end")
        << QStringLiteral("*.txt") << QByteArray("a.txt.") << false;
    QTest::newRow("question mark takes one character of two bytes")
        << QStringLiteral("caf?.txt") << QByteArray("caf\xC3\xA9.txt") << true;
    QTest::newRow("question mark takes a byte that is not UTF-8")
        << QStringLiteral("caf?.txt") << QByteArray("caf\xE9.txt") << true;
    QTest::newRow("folded as the search folds: the Kelvin sign is a k")
        << QStringLiteral("k*") << QByteArray("\xE2\x84\xAA.txt") << true;
    QTest::newRow("backslash is literal") << QStringLiteral("a\\b") << QByteArray("a\\b") << true;
}

void TestFilePattern::matches() {
    QFETCH(QString, filter);
    QFETCH(QByteArray, name);
    QFETCH(bool, expected);
    QString error;
    const std::optional<FilePattern> pattern = FilePattern::Parse(filter, error);
    QVERIFY2(pattern, qPrintable(error));
    QCOMPARE(pattern->Matches(name), expected);
}

void TestFilePattern::rejects_data() {
    QTest::addColumn<QString>("filter");
    QTest::newRow("folder separator") << QStringLiteral("*.txt;sub/*.txt");
    QTest::newRow("unbalanced bracket") << QStringLiteral("[ab.txt");
    QTest::newRow("bracket closed only as first member") << QStringLiteral("[].txt");
    QTest::newRow("range with its ends reversed") << QStringLiteral("[z-a].txt");
    QTest::newRow("set negated with ^ closed only as first member") << QStringLiteral("[^]");
}

void TestFilePattern::rejects() {
    QFETCH(QString, filter);
    QString error;
    QVERIFY(!FilePattern::Parse(filter, error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestFilePattern)
#include "tst_filepattern.moc"
