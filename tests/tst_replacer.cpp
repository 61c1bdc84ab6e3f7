#include "replacer.h"

#include <QChar>
#include <QRandomGenerator>
#include <QTest>

#include <vector>

namespace {

// A plain reference matcher: cuts the content into units one after another and compares
// unit by unit, with no prefilter and no shortcuts.
struct Unit {
    char32_t token;
    qsizetype begin;
    qsizetype length;
};

std::vector<Unit> Units(const QByteArray& text, bool caseSensitive) {
    std::vector<Unit> units;
    const auto* p = reinterpret_cast<const unsigned char*>(text.constData());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n;) {
        if (caseSensitive) {
            units.push_back({p[i], i, 1});
            ++i;
            continue;
        }
        const unsigned char b = p[i];
        int need = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            need = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            need = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            need = 3, cp = b & 0x07, min = 0x10000;
        } else {
            need = -1;
        }
        bool valid = need >= 0;
        for (int k = 1; valid && k <= need; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                valid = false;
            } else {
                cp = (cp << 6) | (p[i + k] & 0x3F);
            }
        }
        if (valid && need > 0 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (valid) {
            units.push_back({QChar::toCaseFolded(cp), i, need + 1});
            i += need + 1;
        } else {
            units.push_back({0x80000000u | b, i, 1});
            ++i;
        }
    }
    return units;
}

QByteArray ReferenceReplace(const QByteArray& content, const QByteArray& find,
                            const QByteArray& replacement, bool caseSensitive, bool& found) {
    found = false;
    if (find.isEmpty()) {
        return content;
    }
    const std::vector<Unit> text = Units(content, caseSensitive);
    const std::vector<Unit> pattern = Units(find, caseSensitive);
    QByteArray out;
    std::size_t i = 0;
    while (i < text.size()) {
        bool match = i + pattern.size() <= text.size();
        for (std::size_t k = 0; match && k < pattern.size(); ++k) {
            match = text[i + k].token == pattern[k].token;
        }
        if (match) {
            found = true;
            out += replacement;
            i += pattern.size();
        } else {
            out += content.mid(text[i].begin, text[i].length);
            ++i;
        }
    }
    return out;
}

QByteArray RandomText(QRandomGenerator& random, int maxLength) {
    // Pieces chosen to meet folds, multi-byte sequences, and broken sequences often.
    static const QByteArrayList pieces = {"a",
                                          "A",
                                          "b",
                                          "k",
                                          "K",
                                          "s",
                                          "S",
                                          "\xE2\x84\xAA" /* KELVIN SIGN */,
                                          "\xC5\xBF" /* LONG S */,
                                          "\xC3\xA9",
                                          "\xC3\x89",
                                          "\xCE\xA3",
                                          "\xCF\x83",
                                          "\xCF\x82",
                                          "\xE1\xBA\x9E",
                                          "\xC3\x9F",
                                          "\xF0\x90\x90\x80",
                                          "\xF0\x90\x90\xA8",
                                          "\xC3",
                                          "\xA9",
                                          "\xE2\x84",
                                          "\xED\xA0\x80",
                                          "\xC0\xAF",
                                          "\xF8",
                                          "\xFF",
                                          "\x80",
                                          "\n",
                                          "\r\n",
                                          " ",
                                          QByteArray(1, '\0')};
    QByteArray text;
    const int count = int(random.bounded(maxLength + 1));
    for (int i = 0; i < count; ++i) {
        text += pieces[random.bounded(int(pieces.size()))];
    }
    return text;
}

}  // namespace

class TestReplacer : public QObject {
    Q_OBJECT

private slots:
    void replaceAll_data();
    void replaceAll();
    void matchesTheReferenceOnRandomText_data();
    void matchesTheReferenceOnRandomText();
    void caseFoldKey_data();
    void caseFoldKey();
};

void TestReplacer::replaceAll_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("plain") << QByteArray("a needle here") << QByteArray("needle")
                           << QByteArray("thread") << true << true << QByteArray("a thread here");
    QTest::newRow("no occurrence") << QByteArray("haystack") << QByteArray("needle")
                                   << QByteArray("x") << true << false << QByteArray();
    QTest::newRow("aa in aaa replaced once, at the start")
        << QByteArray("aaa") << QByteArray("aa") << QByteArray("b") << true << true
        << QByteArray("ba");
    QTest::newRow("replaced text is not scanned again")
        << QByteArray("aXa") << QByteArray("a") << QByteArray("aa") << true << true
        << QByteArray("aaXaa");
    QTest::newRow("empty search text changes nothing")
        << QByteArray("abc") << QByteArray() << QByteArray("x") << false << false << QByteArray();
    QTest::newRow("case-sensitive leaves other case")
        << QByteArray("Abc abc") << QByteArray("abc") << QByteArray("x") << true << true
        << QByteArray("Abc x");
    QTest::newRow("case-insensitive ASCII")
        << QByteArray("Abc aBC") << QByteArray("abc") << QByteArray("x") << false << true
        << QByteArray("x x");
    QTest::newRow("case-insensitive non-ASCII letters")
        << QByteArray("\xC3\x89t\xC3\xA9 \xCE\xA3\xCE\xB9") << QByteArray("\xC3\xA9T\xC3\x89")
        << QByteArray("e") << false << true << QByteArray("e \xCE\xA3\xCE\xB9");
    QTest::newRow("KELVIN SIGN matches k, three bytes for one")
        << QByteArray("5 \xE2\x84\xAA and k") << QByteArray("k") << QByteArray("K") << false << true
        << QByteArray("5 K and K");
    QTest::newRow("k matches KELVIN SIGN in the search text")
        << QByteArray("ok OK") << QByteArray("\xE2\x84\xAA") << QByteArray("_") << false << true
        << QByteArray("o_ O_");
    QTest::newRow("final sigma folds with sigma")
        << QByteArray("\xCF\x82") << QByteArray("\xCE\xA3") << QByteArray("s") << false << true
        << QByteArray("s");
    QTest::newRow("invalid byte matches only itself")
        << QByteArray("\xFF\xC3\xBF") << QByteArray("\xFF") << QByteArray("#") << false << true
        << QByteArray("#\xC3\xBF");
    QTest::newRow("continuation byte inside a character is not matched")
        << QByteArray("\xC3\xA9 \xA9") << QByteArray("\xA9") << QByteArray("#") << false << true
        << QByteArray("\xC3\xA9 #");
    QTest::newRow("CRLF kept around a match")
        << QByteArray("one\r\ntwo\r\n") << QByteArray("two") << QByteArray("2") << true << true
        << QByteArray("one\r\n2\r\n");
    QTest::newRow("longer replacement grows the content")
        << QByteArray("n n n") << QByteArray("n") << QByteArray("needle") << false << true
        << QByteArray("needle needle needle");
    QTest::newRow("replacement equal to the match still counts as found")
        << QByteArray("abc") << QByteArray("abc") << QByteArray("abc") << true << true
        << QByteArray("abc");
}

void TestReplacer::replaceAll() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, replacement);
    QFETCH(bool, caseSensitive);
    QFETCH(bool, found);
    QFETCH(QByteArray, expected);

    const Replacer replacer(find, replacement, caseSensitive);
    QCOMPARE(replacer.Contains(content), found);
    QByteArray out = "untouched";
    bool changed = false;
    QCOMPARE(replacer.ReplaceAll(content, out, &changed), found);
    QCOMPARE(out, found ? expected : QByteArray("untouched"));
    QCOMPARE(changed, found && expected != content);
}

void TestReplacer::matchesTheReferenceOnRandomText_data() {
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<int>("contentPieces");
    QTest::addColumn<int>("rounds");
    QTest::newRow("case-sensitive, short") << true << 24 << 20000;
    QTest::newRow("case-insensitive, short") << false << 24 << 20000;
    // Long enough for the sixteen-byte scan and its tail to both be used.
    QTest::newRow("case-sensitive, long") << true << 300 << 2000;
    QTest::newRow("case-insensitive, long") << false << 300 << 2000;
}

void TestReplacer::matchesTheReferenceOnRandomText() {
    QFETCH(bool, caseSensitive);
    QFETCH(int, contentPieces);
    QFETCH(int, rounds);
    QRandomGenerator random(quint32(contentPieces) * (caseSensitive ? 1234u : 5678u));
    for (int round = 0; round < rounds; ++round) {
        const QByteArray content = RandomText(random, contentPieces);
        const QByteArray find = RandomText(random, 3);
        const QByteArray replacement = RandomText(random, 3);
        bool expectFound = false;
        const QByteArray expected =
            ReferenceReplace(content, find, replacement, caseSensitive, expectFound);

        const Replacer replacer(find, replacement, caseSensitive);
        QByteArray out;
        bool changed = false;
        const bool found = replacer.ReplaceAll(content, out, &changed);
        if (found != expectFound || (found && out != expected) ||
            (found && changed != (expected != content)) ||
            replacer.Contains(content) != expectFound) {
            QFAIL(qPrintable(
                QStringLiteral("content %1 find %2 replacement %3: got %4, want %5")
                    .arg(QString::fromLatin1(content.toHex()), QString::fromLatin1(find.toHex()),
                         QString::fromLatin1(replacement.toHex()),
                         QString::fromLatin1(found ? out.toHex() : "none"),
                         QString::fromLatin1(expectFound ? expected.toHex() : "none"))));
        }
    }
}

void TestReplacer::caseFoldKey_data() {
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    QTest::addColumn<bool>("equal");
    QTest::newRow("ASCII case") << QByteArray("Notes.TXT") << QByteArray("notes.txt") << true;
    QTest::newRow("accented case")
        << QByteArray("\xC3\x89.txt") << QByteArray("\xC3\xA9.txt") << true;
    QTest::newRow("different names") << QByteArray("a.txt") << QByteArray("b.txt") << false;
    QTest::newRow("different invalid bytes")
        << QByteArray("\xFE.txt") << QByteArray("\xFF.txt") << false;
}

void TestReplacer::caseFoldKey() {
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(bool, equal);
    QCOMPARE(CaseFoldKey(a) == CaseFoldKey(b), equal);
}

QTEST_GUILESS_MAIN(TestReplacer)
#include "tst_replacer.moc"
