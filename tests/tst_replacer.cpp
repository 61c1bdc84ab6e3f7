// SPDX-License-Identifier: GPL-3.0-or-later
#include "referencereplacer.h"
#include "replaceall.h"
#include "replacer.h"
#include "summary.h"
#include "textdecoding.h"

#include <QRandomGenerator>
#include <QStringView>
#include <QTest>

namespace {

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
                                          "\r",
                                          " ",
                                          QByteArray(1, '\0')};
    QByteArray text;
    const int count = int(random.bounded(maxLength + 1));
    for (int i = 0; i < count; ++i) {
        text += pieces[random.bounded(int(pieces.size()))];
    }
    return text;
}

// text in form: 0 as it is, 1 UTF-16LE and 2 UTF-16BE with a byte-order mark (a byte outside
// UTF-8 as an unpaired surrogate), 3 with every other character that Windows-1252 holds in it.
QByteArray InForm(const QByteArray& text, int form) {
    if (form == 0) {
        return text;
    }
    QByteArray out = form == 1 ? "\xFF\xFE" : form == 2 ? "\xFE\xFF" : "";
    const auto* p = reinterpret_cast<const uchar*>(text.constData());
    const uchar* end = p + text.size();
    for (int k = 0; p < end; ++k) {
        char32_t cp = 0;
        const int length = DecodeUtf8(p, end, cp);
        std::shared_ptr<const LegacyEncoding> legacy = LegacyEncoding::Windows1252();
        uchar b = 0;
        if (form == 3) {
            out += length && k % 2 && legacy->Encode(cp, b)
                       ? QByteArray(1, char(b))
                       : text.mid(p - reinterpret_cast<const uchar*>(text.constData()),
                                  length ? length : 1);
        } else {
            AppendUtf16(length ? cp : 0xDC00 | *p, form == 2, out);
        }
        p += length ? length : 1;
    }
    return out;
}

// text in UTF-16 with a byte-order mark, or without one when bom is false.
QByteArray Utf16(QStringView text, bool bigEndian = false, bool bom = true) {
    QByteArray out = bom ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (const QChar c : text) {
        const char high = char(c.unicode() >> 8);
        const char low = char(c.unicode() & 0xFF);
        out.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return out;
}

// The expected text of a row whose replacement cannot be written.
const QByteArray kUnwritable = "(cannot be written)";

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
    void unfoldedFormsInvertTheFolding();
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
    // A null content has no data pointer: it must never reach memmem or memchr.
    QTest::newRow("null content, case-sensitive")
        << QByteArray() << QByteArray("a") << QByteArray("b") << true << false << QByteArray();
    QTest::newRow("null content, case-insensitive")
        << QByteArray() << QByteArray("a") << QByteArray("b") << false << false << QByteArray();
    QTest::newRow("search text at the very end")
        << QByteArray("xab") << QByteArray("AB") << QByteArray("-") << false << true
        << QByteArray("x-");
    QTest::newRow("replacement equal to the match still counts as found")
        << QByteArray("abc") << QByteArray("abc") << QByteArray("abc") << true << true
        << QByteArray("abc");

    // A line break is "\n" or "\r\n" in the search text, the replacement and the file alike.
    QTest::newRow("two lines in an LF file")
        << QByteArray("one\ntwo\nthree\n") << QByteArray("one\ntwo") << QByteArray("1\n2") << true
        << true << QByteArray("1\n2\nthree\n");
    QTest::newRow("two lines in a CRLF file keep CRLF")
        << QByteArray("one\r\ntwo\r\nthree\r\n") << QByteArray("one\ntwo") << QByteArray("1\n2")
        << true << true << QByteArray("1\r\n2\r\nthree\r\n");
    QTest::newRow("mixed file, each occurrence by its own break")
        << QByteArray("a\nb\r\na\r\nb\n") << QByteArray("a\nb") << QByteArray("x\ny") << true
        << true << QByteArray("x\ny\r\nx\r\ny\n");
    QTest::newRow("the occurrence's first break decides for the whole replacement")
        << QByteArray("a\r\nb\nc") << QByteArray("a\nb\nc") << QByteArray("1\n2\n3") << true << true
        << QByteArray("1\r\n2\r\n3");
    QTest::newRow("CRLF in the search text is one break and matches LF")
        << QByteArray("a\nb") << QByteArray("a\r\nb") << QByteArray("c") << true << true
        << QByteArray("c");
    QTest::newRow("CRLF in the replacement is one break, written as the file's LF")
        << QByteArray("a\nb\nc") << QByteArray("b") << QByteArray("1\r\n2") << true << true
        << QByteArray("a\n1\n2\nc");
    QTest::newRow("break at the start of the search text takes the whole CRLF")
        << QByteArray("x\r\ny") << QByteArray("\ny") << QByteArray("\nz") << true << true
        << QByteArray("x\r\nz");
    QTest::newRow("break at the end of the search text takes the whole CRLF")
        << QByteArray("x\r\ny") << QByteArray("x\n") << QByteArray("w\n") << true << true
        << QByteArray("w\r\ny");
    QTest::newRow("break alone removes every kind of break")
        << QByteArray("a\r\nb\nc\rd") << QByteArray("\n") << QByteArray() << true << true
        << QByteArray("abc\rd");
    QTest::newRow("occurrence against the end of the file")
        << QByteArray("a\r\nb") << QByteArray("\nb") << QByteArray("-") << true << true
        << QByteArray("a-");
    QTest::newRow("break at the end of the search text needs one in the file")
        << QByteArray("ab\r") << QByteArray("b\n") << QByteArray("-") << true << false
        << QByteArray();
    QTest::newRow("a CR not followed by LF is no break")
        << QByteArray("a\rb") << QByteArray("a\nb") << QByteArray("-") << false << false
        << QByteArray();
    QTest::newRow("a CR not followed by LF matches itself")
        << QByteArray("a\rb a\r\nb") << QByteArray("a\rb") << QByteArray("-") << true << true
        << QByteArray("- a\r\nb");
    QTest::newRow("a search text ending in CR does not end inside a CRLF")
        << QByteArray("a\r\na\r") << QByteArray("a\r") << QByteArray("-") << true << true
        << QByteArray("a\r\n-");
    QTest::newRow("a search text ending in CR, before a CRLF")
        << QByteArray("a\r\r\nb") << QByteArray("A\r") << QByteArray("-") << false << true
        << QByteArray("-\r\nb");
    QTest::newRow("occurrences one CRLF apart")
        << QByteArray("a\nb\r\na\nb") << QByteArray("a\nb") << QByteArray("c") << true << true
        << QByteArray("c\r\nc");
    QTest::newRow("an occurrence that starts with the CRLF after the previous one")
        << QByteArray("x\r\nx\r\nx") << QByteArray("\nx") << QByteArray("-") << true << true
        << QByteArray("x--");
    QTest::newRow("two lines ignoring case in a CRLF file")
        << QByteArray("ONE\r\nTwo") << QByteArray("one\ntwo") << QByteArray("1\n2") << false << true
        << QByteArray("1\r\n2");
    QTest::newRow("two lines ignoring case, KELVIN SIGN after the break")
        << QByteArray("o\r\n\xE2\x84\xAA") << QByteArray("O\nk") << QByteArray("-") << false << true
        << QByteArray("-");
    QTest::newRow("two lines case-sensitive leave other case")
        << QByteArray("ONE\r\nTwo") << QByteArray("one\ntwo") << QByteArray("1\n2") << true << false
        << QByteArray();
    QTest::newRow("replacement equal to the occurrence up to its breaks leaves a CRLF file")
        << QByteArray("a\r\nb") << QByteArray("a\nb") << QByteArray("a\nb") << true << true
        << QByteArray("a\r\nb");
    QTest::newRow("replacement breaks follow the file's first CRLF")
        << QByteArray("a b\r\nc\n") << QByteArray(" ") << QByteArray("\n") << true << true
        << QByteArray("a\r\nb\r\nc\n");
    QTest::newRow("replacement breaks follow the file's first LF")
        << QByteArray("a b\nc\r\n") << QByteArray(" ") << QByteArray("\r\n") << true << true
        << QByteArray("a\nb\nc\r\n");
    QTest::newRow("replacement breaks as LF in a file without breaks")
        << QByteArray("a b\rc") << QByteArray(" ") << QByteArray("\r\n") << false << true
        << QByteArray("a\nb\rc");

    // Each file is read in its own encoding, and written back in it.
    const QByteArray cafeUpper = "CAF\xC3\x89";
    const QByteArray the = "th\xC3\xA9";
    QTest::newRow("UTF-8 with a byte-order mark, ignoring case")
        << QByteArray(
               "\xEF\xBB\xBF"
               "caf\xC3\xA9")
        << cafeUpper << the << false << true
        << QByteArray(
               "\xEF\xBB\xBF"
               "th\xC3\xA9");
    QTest::newRow("UTF-16LE, ignoring case")
        << Utf16(u"Caf\u00E9\n") << cafeUpper << the << false << true << Utf16(u"th\u00E9\n");
    QTest::newRow("UTF-16BE, ignoring case") << Utf16(u"x caf\u00E9", true) << cafeUpper << the
                                             << false << true << Utf16(u"x th\u00E9", true);
    QTest::newRow("UTF-16LE, case-sensitive leaves other case")
        << Utf16(u"Caf\u00E9") << QByteArray("caf\xC3\xA9") << the << true << false << QByteArray();
    QTest::newRow("UTF-16LE, ASCII word")
        << Utf16(u"noir et chaud") << QByteArray("chaud") << QByteArray("froid") << true << true
        << Utf16(u"noir et froid");
    QTest::newRow("UTF-16BE, CRLF kept for a two-line search")
        << Utf16(u"a\r\nb\r\n", true) << QByteArray("A\nB") << QByteArray("x\ny") << false << true
        << Utf16(u"x\r\ny\r\n", true);
    QTest::newRow("UTF-16LE, replacement breaks follow the file's LF")
        << Utf16(u"a b\nc") << QByteArray(" ") << QByteArray("\r\n") << true << true
        << Utf16(u"a\nb\nc");
    QTest::newRow("UTF-16LE, a lone CR is no break")
        << Utf16(u"a\rb") << QByteArray("a\nb") << QByteArray("-") << true << false << QByteArray();
    QTest::newRow("UTF-16 without a byte-order mark is bytes")
        << Utf16(u"caf\u00E9", false, false) << cafeUpper << the << false << false << QByteArray();
    QTest::newRow("UTF-16LE of odd length keeps its last byte")
        << Utf16(u"caf\u00E9") + 'Z' << cafeUpper << the << false << true
        << Utf16(u"th\u00E9") + 'Z';
    QTest::newRow("UTF-16LE, an unpaired surrogate is kept and matches nothing")
        << Utf16(u"caf\u00E9") + QByteArray("\x00\xD8", 2) + Utf16(u"caf\u00E9", false, false)
        << cafeUpper << QByteArray("t") << false << true
        << Utf16(u"t") + QByteArray("\x00\xD8", 2) + Utf16(u"t", false, false);
    QTest::newRow("UTF-16LE, a character past U+FFFF, ignoring case")
        << Utf16(u"\U00010428!") << QByteArray("\xF0\x90\x90\x80") << QByteArray("\xF0\x90\x90\x81")
        << false << true << Utf16(u"\U00010401!");
    QTest::newRow("UTF-16LE, a replacement that is not UTF-8")
        << Utf16(u"a") << QByteArray("a") << QByteArray("\xFF") << true << true << kUnwritable;
    QTest::newRow("Windows-1252 \u00E9, ignoring case")
        << QByteArray("un caf\xE9") << cafeUpper << the << false << true << QByteArray("un th\xE9");
    QTest::newRow("Windows-1252 \u00C9, case-sensitive")
        << QByteArray("CAF\xC9 caf\xE9") << cafeUpper << the << true << true
        << QByteArray("th\xE9 caf\xE9");
    QTest::newRow("Windows-1252 euro sign")
        << QByteArray("5 \x80 \xE9") << QByteArray("\xE2\x82\xAC") << QByteArray("EUR") << true
        << true << QByteArray("5 EUR \xE9");
    QTest::newRow("Windows-1252 \u0153 matches \u0152 ignoring case")
        << QByteArray("\x9Cuvre") << QByteArray("\xC5\x92UVRE") << QByteArray("\xC5\x93il") << false
        << true << QByteArray("\x9Cil");
    QTest::newRow("a mixed file, one occurrence in each form")
        << QByteArray("caf\xC3\xA9 caf\xE9") << QByteArray("caf\xC3\xA9") << the << true << true
        << QByteArray("th\xC3\xA9 th\xE9");
    QTest::newRow("ASCII occurrence in a Windows-1252 file")
        << QByteArray("\xE9 cafe") << QByteArray("cafe") << the << true << true
        << QByteArray("\xE9 th\xE9");
    QTest::newRow("ASCII occurrence where the first non-ASCII character is UTF-8")
        << QByteArray("\xC3\xA9 cafe \xE9") << QByteArray("cafe") << the << true << true
        << QByteArray("\xC3\xA9 th\xC3\xA9 \xE9");
    QTest::newRow("a replacement Windows-1252 cannot hold")
        << QByteArray("caf\xE9") << QByteArray("caf\xC3\xA9") << QByteArray("\xE2\x86\x92") << true
        << true << kUnwritable;
    QTest::newRow("a valid UTF-8 file is not read as Windows-1252")
        << QByteArray("caf\xC3\xA9") << QByteArray("caf\xC3\x83") << the << true << false
        << QByteArray();
    QTest::newRow("a file with a NUL is not read as Windows-1252")
        << QByteArray("caf\xE9\0", 5) << cafeUpper << the << false << false << QByteArray();
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
    bool unwritable = false;
    QCOMPARE(ReplaceAll(replacer, content, out, &changed, &unwritable), found);
    QCOMPARE(unwritable, expected == kUnwritable);
    if (unwritable) {
        QCOMPARE(replacer.EffectOn(content), Replacer::Effect::Unwritable);
        return;
    }
    QCOMPARE(out, found ? expected : QByteArray("untouched"));
    QCOMPARE(changed, found && expected != content);
    const Replacer::Effect effect = !found                ? Replacer::Effect::NoOccurrence
                                    : expected != content ? Replacer::Effect::Changed
                                                          : Replacer::Effect::Unchanged;
    QCOMPARE(replacer.EffectOn(content), effect);
}

void TestReplacer::matchesTheReferenceOnRandomText_data() {
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<int>("contentPieces");
    QTest::addColumn<int>("rounds");
    QTest::addColumn<int>("form");  // as InForm takes it
    QTest::newRow("case-sensitive, short") << true << 24 << 20000 << 0;
    QTest::newRow("case-insensitive, short") << false << 24 << 20000 << 0;
    // Long enough for the sixteen-byte scan and its tail to both be used.
    QTest::newRow("case-sensitive, long") << true << 300 << 2000 << 0;
    QTest::newRow("case-insensitive, long") << false << 300 << 2000 << 0;
    QTest::newRow("UTF-16LE, case-sensitive") << true << 24 << 20000 << 1;
    QTest::newRow("UTF-16LE, case-insensitive") << false << 24 << 20000 << 1;
    QTest::newRow("UTF-16BE, case-insensitive, long") << false << 300 << 2000 << 2;
    QTest::newRow("Windows-1252 and UTF-8, case-sensitive") << true << 24 << 20000 << 3;
    QTest::newRow("Windows-1252 and UTF-8, case-insensitive") << false << 24 << 20000 << 3;
    QTest::newRow("Windows-1252 and UTF-8, case-insensitive, long") << false << 300 << 2000 << 3;
}

void TestReplacer::matchesTheReferenceOnRandomText() {
    QFETCH(bool, caseSensitive);
    QFETCH(int, contentPieces);
    QFETCH(int, rounds);
    QFETCH(int, form);
    QRandomGenerator random(quint32(contentPieces + form) * (caseSensitive ? 1234u : 5678u));
    for (int round = 0; round < rounds; ++round) {
        const QByteArray content = InForm(RandomText(random, contentPieces), form);
        const QByteArray find = RandomText(random, 3);
        const QByteArray replacement = RandomText(random, 3);
        bool expectFound = false;
        bool expectUnwritable = false;
        const QByteArray expected = reference::ReplaceAll(content, find, replacement, caseSensitive,
                                                          expectFound, &expectUnwritable);

        const Replacer replacer(find, replacement, caseSensitive);
        QByteArray out;
        bool changed = false;
        bool unwritable = false;
        const bool found = ReplaceAll(replacer, content, out, &changed, &unwritable);
        if (unwritable != expectUnwritable) {
            QFAIL(qPrintable(QStringLiteral("content %1 find %2 replacement %3: unwritable %4")
                                 .arg(QString::fromLatin1(content.toHex()),
                                      QString::fromLatin1(find.toHex()),
                                      QString::fromLatin1(replacement.toHex()))
                                 .arg(unwritable)));
        }
        if (unwritable) {
            continue;
        }
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

// The table of unfolded forms is made at build time; it must be the folding of the Qt the
// program runs with, or a case-insensitive search misses a form of a character.
void TestReplacer::unfoldedFormsInvertTheFolding() {
    std::size_t forms = 0;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const char32_t folded = QChar::toCaseFolded(c);
        if ((c >= 0xD800 && c <= 0xDFFF) || folded == c) {
            continue;
        }
        ++forms;
        const std::span<const char32_t> unfolded = UnfoldedForms(folded);
        if (std::find(unfolded.begin(), unfolded.end(), c) == unfolded.end()) {
            QFAIL(qPrintable(QStringLiteral("U+%1 missing from the forms of U+%2")
                                 .arg(uint(c), 4, 16, QChar('0'))
                                 .arg(uint(folded), 4, 16, QChar('0'))));
        }
    }
    std::size_t listed = 0;
    for (char32_t f = 0; f <= 0x10FFFF; ++f) {
        listed += UnfoldedForms(f).size();
    }
    QCOMPARE(listed, forms);
}

QTEST_GUILESS_MAIN(TestReplacer)
#include "tst_replacer.moc"
