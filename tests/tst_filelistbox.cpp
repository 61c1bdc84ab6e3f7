// SPDX-License-Identifier: GPL-3.0-or-later
// The file list: what it lists, the raw bytes of each name, selection and current entry.
#include "filelistbox.h"
#include "filteredfolder.h"

#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class TestFileListBox : public QObject {
    Q_OBJECT

private slots:
    void init();

    void listsVisibleRegularFilesSortedWithCaseIgnored();
    void sortsNames_data();
    void sortsNames();
    void keepsRawBytesOfNamesThatAreNotUtf8();
    void outOfRangeEntriesAreEmptyAndUnselected();
    void setListIndexKeepsSelection();
    void listIndexSetWhileHiddenShowsWhenListShows();
    void refreshReadsFolderAgainAndClearsSelection();
    void newFilterPicksFromTheNamesRead();
    void followsTheFolder_data();
    void followsTheFolder();
    void failedPathWriteChangesNothing();
    void pathTakesAListingOfThatFolderOnly();
    void rejectedPatternChangesNothing();
    void emptyPatternListsEveryFile();
    void filteredFolderListsTheSame_data();
    void filteredFolderListsTheSame();
    void selectEntriesIsOneSelectionChange_data();
    void selectEntriesIsOneSelectionChange();
    void keysSelectAsInAnyList_data();
    void keysSelectAsInAnyList();
    void takingTheFocusShowsTheCurrentEntry_data();
    void takingTheFocusShowsTheCurrentEntry();

private:
    void Touch(const QByteArray& name);
    QList<QByteArray> Names(const FileListBox& list) const;
    QByteArray Folder() const { return QFile::encodeName(folder_->path()); }

    std::unique_ptr<QTemporaryDir> folder_;
};

void TestFileListBox::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
}

void TestFileListBox::Touch(const QByteArray& name) {
    const QByteArray path = Folder() + '/' + name;
    const int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
    QVERIFY(fd >= 0);
    ::close(fd);
}

QList<QByteArray> TestFileListBox::Names(const FileListBox& list) const {
    QList<QByteArray> names;
    for (int i = 0; i < list.ListCount(); ++i) {
        names.append(list.List(i));
    }
    return names;
}

void TestFileListBox::listsVisibleRegularFilesSortedWithCaseIgnored() {
    for (const char* name : {"b.txt", "A.txt", "c.TXT", ".hidden.txt", "d.ini"}) {
        Touch(name);
    }
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("folder.txt")));
    QVERIFY(QFile::link(folder_->filePath(QStringLiteral("b.txt")),
                        folder_->filePath(QStringLiteral("link.txt"))));
    QVERIFY(QFile::link(folder_->filePath(QStringLiteral("gone")),
                        folder_->filePath(QStringLiteral("dangling.txt"))));
    FileListBox list;
    QString error;
    QVERIFY(list.SetPattern(QStringLiteral("*.txt"), error));
    QVERIFY2(list.SetPath(Folder(), error), qPrintable(error));

    QCOMPARE(Names(list), (QList<QByteArray>{"A.txt", "b.txt", "c.TXT", "link.txt"}));
    QCOMPARE(list.Path(), Folder());
}

void TestFileListBox::sortsNames_data() {
    QTest::addColumn<QByteArrayList>("names");  // in the order the list shows them
    QTest::newRow("case ignored, ties by bytes")
        << QByteArrayList{"A.txt", "a.txt", "B.txt", "b.txt"};
    QTest::newRow("a name before the longer names it starts")
        << QByteArrayList{"ab", "AB.txt", "abc"};
    QTest::newRow("signs, digits, then letters of either case")
        << QByteArrayList{"10.txt", "_x.asp", "A.txt", "Zed.html"};
    QTest::newRow("beyond ASCII folded: \u00c4 with \u00e4, after z")
        << QByteArrayList{"z.txt", "\xC3\x84.txt", "\xC3\xA4.txt",
                          "\xC3\xA4"
                          "b.txt"};
    QTest::newRow("folded as the search folds: the Kelvin sign sits with k")
        << QByteArrayList{"j", "\xE2\x84\xAA", "l"};
    QTest::newRow("alike in the first eight bytes, ordered by the rest")
        << QByteArrayList{"abcdefghA", "ABCDEFGHb", "abcdefgh\xE2\x84\xAA", "abcdefghz"};
    QTest::newRow("names of the longest length, alike but for the last byte")
        << QByteArrayList{QByteArray(255, 'a'), QByteArray(254, 'A') + "b"};
    QTest::newRow("a byte that is not UTF-8 after every character")
        << QByteArrayList{"caf\xC3\xA9", "caf\xE9"};
    QByteArrayList many;  // enough to be sorted and copied on two threads
    for (int i = 0; i < 20000; ++i) {
        const QByteArray number = QByteArray::number(i).rightJustified(5, '0');
        many << "NAME" + number << "name" + number;
    }
    QTest::newRow("40,000 alike in the first eight bytes") << many;
}

void TestFileListBox::sortsNames() {
    QFETCH(QByteArrayList, names);
    for (auto name = names.crbegin(); name != names.crend(); ++name) {
        Touch(*name);
    }
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    QCOMPARE(Names(list), names);
    // The same names from a listing read before, as the window starts.
    FolderListing listing;
    QVERIFY(listing.Read(Folder(), error));
    FileListBox given(nullptr, FileListBox::Start::Empty);
    QVERIFY(given.SetPath(Folder(), error, std::move(listing)));
    QCOMPARE(Names(given), names);
}

void TestFileListBox::keepsRawBytesOfNamesThatAreNotUtf8() {
    const QByteArray latin1 = "caf\xe9.txt";
    Touch(latin1);
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    QCOMPARE(Names(list), QList<QByteArray>{latin1});
}

void TestFileListBox::outOfRangeEntriesAreEmptyAndUnselected() {
    Touch("a.txt");
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    list.SetSelected(0, true);
    list.SetSelected(5, true);
    for (int i : {-1, 1, 100}) {
        QCOMPARE(list.List(i), QByteArray());
        QVERIFY(!list.Selected(i));
    }
    QVERIFY(list.Selected(0));
}

void TestFileListBox::setListIndexKeepsSelection() {
    for (const char* name : {"a", "b", "c", "d"}) {
        Touch(name);
    }
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    list.SetSelected(0, true);
    list.SetSelected(2, true);

    for (int i = 0; i < list.ListCount(); ++i) {
        list.SetListIndex(i);
        QCOMPARE(list.ListIndex(), i);
        QCOMPARE(list.Selected(0), true);
        QCOMPARE(list.Selected(1), false);
        QCOMPARE(list.Selected(2), true);
        QCOMPARE(list.Selected(3), false);
    }
}

void TestFileListBox::listIndexSetWhileHiddenShowsWhenListShows() {
    for (const char* name : {"a", "b", "c"}) {
        Touch(name);
    }
    // The same steps with the list shown and with it hidden must end alike once it shows.
    QList<int> endRows;
    for (const bool hidden : {false, true}) {
        QWidget window;
        auto* list = new FileListBox(&window);
        QString error;
        QVERIFY(list->SetPath(Folder(), error));
        window.show();
        list->SetSelected(0, true);
        list->setVisible(!hidden);
        list->SetListIndex(2);
        QCOMPARE(list->ListIndex(), 2);
        list->setVisible(true);
        QCOMPARE(list->currentIndex().row(), 2);
        QCOMPARE(list->ListIndex(), 2);
        QVERIFY(list->Selected(0));
        QVERIFY(!list->Selected(2));

        // A mark set before the list is filled again does not outlive the old entries.
        list->setVisible(!hidden);
        list->SetListIndex(1);
        list->Refresh();
        list->setVisible(true);
        QCOMPARE(list->ListIndex(), list->currentIndex().row());
        endRows.append(list->currentIndex().row());
    }
    QCOMPARE(endRows[1], endRows[0]);
}

void TestFileListBox::refreshReadsFolderAgainAndClearsSelection() {
    Touch("a");
    Touch("b");
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    list.SetSelected(1, true);
    Touch("c");
    QVERIFY(QFile::remove(folder_->filePath(QStringLiteral("a"))));

    list.Refresh();

    QCOMPARE(Names(list), (QList<QByteArray>{"b", "c"}));
    QVERIFY(!list.Selected(0));
    QVERIFY(!list.Selected(1));
}

void TestFileListBox::newFilterPicksFromTheNamesRead() {
    Touch("a.txt");
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    QVERIFY(list.SetPattern(QStringLiteral("*.txt"), error));
    Touch("b.doc");

    QVERIFY(list.SetPattern(QStringLiteral("*"), error));
    QCOMPARE(Names(list), QList<QByteArray>{"a.txt"});

    list.Refresh();
    QCOMPARE(Names(list), (QList<QByteArray>{"a.txt", "b.doc"}));
    // Each pick takes over the memory of an earlier one, longer or shorter.
    QVERIFY(list.SetPattern(QStringLiteral("*.doc"), error));
    QCOMPARE(Names(list), QList<QByteArray>{"b.doc"});
    QVERIFY(list.SetPattern(QStringLiteral("*"), error));
    QCOMPARE(Names(list), (QList<QByteArray>{"a.txt", "b.doc"}));
}

void TestFileListBox::followsTheFolder_data() {
    QTest::addColumn<QByteArrayList>("made");
    QTest::addColumn<QByteArrayList>("deleted");
    QTest::addColumn<bool>("duringRun");
    QTest::addColumn<QByteArrayList>("expected");  // "b" and "c" were selected
    QTest::newRow("a file made appears")
        << QByteArrayList{"ab"} << QByteArrayList{} << false << QByteArrayList{"a", "ab", "b", "c"};
    QTest::newRow("a file deleted goes, the other selected stays")
        << QByteArrayList{} << QByteArrayList{"c"} << false << QByteArrayList{"a", "b"};
    QTest::newRow("during a run nothing changes until it ends")
        << QByteArrayList{"d"} << QByteArrayList{"a"} << true << QByteArrayList{"b", "c", "d"};
}

void TestFileListBox::followsTheFolder() {
    QFETCH(QByteArrayList, made);
    QFETCH(QByteArrayList, deleted);
    QFETCH(bool, duringRun);
    QFETCH(QByteArrayList, expected);
    for (const char* name : {"a", "b", "c"}) {
        Touch(name);
    }
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    list.SelectEntries({1, 2});
    QSignalSpy followed(&list, &FileListBox::FolderChanged);
    list.HoldChanges(duringRun);

    for (const QByteArray& name : made) {
        Touch(name);
    }
    for (const QByteArray& name : deleted) {
        QVERIFY(QFile::remove(QFile::decodeName(Folder() + '/' + name)));
    }
    if (duringRun) {
        QTest::qWait(700);
        QCOMPARE(Names(list), (QList<QByteArray>{"a", "b", "c"}));
        QCOMPARE(followed.count(), 0);
        list.HoldChanges(false);
    }

    QTRY_COMPARE(Names(list), expected);
    QCOMPARE(followed.count(), 1);
    for (int i = 0; i < list.ListCount(); ++i) {
        QCOMPARE(list.Selected(i), list.List(i) == "b" || list.List(i) == "c");
    }
}

void TestFileListBox::failedPathWriteChangesNothing() {
    Touch("a");
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));

    QVERIFY(!list.SetPath(Folder() + "/missing", error));

    QCOMPARE(error, QStringLiteral("No such file or directory"));
    QCOMPARE(list.Path(), Folder());
    QCOMPARE(Names(list), QList<QByteArray>{"a"});
}

void TestFileListBox::rejectedPatternChangesNothing() {
    Touch("a.txt");
    Touch("b.doc");
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    QVERIFY(list.SetPattern(QStringLiteral("*.txt"), error));

    QVERIFY(!list.SetPattern(QStringLiteral("[*.doc"), error));

    QCOMPARE(list.Pattern(), QStringLiteral("*.txt"));
    QCOMPARE(Names(list), QList<QByteArray>{"a.txt"});
}

void TestFileListBox::emptyPatternListsEveryFile() {
    Touch("a.txt");
    Touch("b");
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    QVERIFY(list.SetPattern(QStringLiteral("*.txt"), error));
    QVERIFY(list.SetPattern(QString(), error));
    QCOMPARE(Names(list), (QList<QByteArray>{"a.txt", "b"}));
}

void TestFileListBox::pathTakesAListingOfThatFolderOnly() {
    // Listings read before "new.txt" was made: the folder's own is shown as it was read;
    // another folder's is passed over, and the folder is read.
    Touch("a.txt");
    QTemporaryDir other;
    QString error;
    FolderListing own;
    FolderListing another;
    QVERIFY(own.Read(Folder(), error) && another.Read(QFile::encodeName(other.path()), error));
    Touch("new.txt");
    FileListBox box(nullptr, FileListBox::Start::Empty);

    QVERIFY(box.SetPath(Folder(), error, own));
    QCOMPARE(Names(box), QList<QByteArray>{"a.txt"});
    QVERIFY(box.SetPath(Folder(), error, another));
    QCOMPARE(Names(box), (QList<QByteArray>{"a.txt", "new.txt"}));
}

void TestFileListBox::filteredFolderListsTheSame_data() {
    QTest::addColumn<QString>("filter");
    QTest::addColumn<int>("more");  // names alike in their first eight bytes, besides the rest
    QTest::newRow("the start filter")
        << QStringLiteral("*.txt;*.doc;*.htm;*.asp;*.html;*.xml") << 0;
    QTest::newRow("every file") << QStringLiteral("*") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("sets and one character") << QStringLiteral(" [ab]?.* ; *.INI ") << 0;
    QTest::newRow("enough passing to be sorted on two threads") << QStringLiteral("*.t*") << 40000;
}

void TestFileListBox::filteredFolderListsTheSame() {
    QFETCH(QString, filter);
    QFETCH(int, more);
    for (const QByteArray& name :
         QList<QByteArray>{"b.txt", "A.txt", "a.TXT", "B.doc", ".hidden.txt", "d.ini", "ab.htm",
                           "caf\xC3\xA9.txt", "Zed.html", "_x.asp", "10.txt"}) {
        Touch(name);
    }
    for (int i = 0; i < more; ++i) {
        Touch("Longname" + QByteArray::number(i) + (i % 2 ? ".txt" : ".TXT"));
    }
    QVERIFY(QDir(folder_->path()).mkdir(QStringLiteral("folder.txt")));
    QVERIFY(::symlink("A.txt", (Folder() + "/link.txt").constData()) == 0);

    FileListBox box;
    QString error;
    QVERIFY(box.SetPath(Folder(), error));
    QVERIFY2(box.SetPattern(filter, error), qPrintable(error));
    const std::optional<FilePattern> pattern = FilePattern::Parse(filter, error);
    QVERIFY(pattern);
    FilteredFolder files(Folder(), *pattern);
    QVERIFY(files.Read(error));

    QList<QByteArray> listed;
    for (int i = 0; i < files.ListCount(); ++i) {
        listed.append(files.List(i));
    }
    QVERIFY(!listed.isEmpty());
    QCOMPARE(listed, Names(box));
}

void TestFileListBox::selectEntriesIsOneSelectionChange_data() {
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<QList<int>>("selected");  // besides entry 1, selected beforehand
    QTest::newRow("one run") << QList<int>{3, 4, 5} << QList<int>{1, 3, 4, 5};
    QTest::newRow("scattered, unsorted, repeated")
        << QList<int>{9, 0, 4, 4, 7, 8} << QList<int>{0, 1, 4, 7, 8, 9};
    QTest::newRow("already selected and out of range")
        << QList<int>{1, 2, -1, 10, 99} << QList<int>{1, 2};
}

void TestFileListBox::selectEntriesIsOneSelectionChange() {
    QFETCH(QList<int>, indices);
    QFETCH(QList<int>, selected);
    for (int i = 0; i < 10; ++i) {
        Touch("f" + QByteArray::number(i));
    }
    FileListBox list;
    QString error;
    QVERIFY(list.SetPath(Folder(), error));
    list.SetSelected(1, true);
    QSignalSpy changes(list.selectionModel(), &QItemSelectionModel::selectionChanged);

    list.SelectEntries(indices);

    QCOMPARE(changes.size(), 1);
    QList<int> now;
    for (int i = 0; i < list.ListCount(); ++i) {
        if (list.Selected(i)) {
            now.append(i);
        }
    }
    QCOMPARE(now, selected);
}

void TestFileListBox::keysSelectAsInAnyList_data() {
    // Keys typed after the list takes the focus, which puts the mark on the first entry.
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("current");
    QTest::newRow("Home on the first entry selects it")
        << QStringList{"Home"} << QList<int>{0} << 0;
    QTest::newRow("Space selects the marked entry") << QStringList{"Space"} << QList<int>{0} << 0;
    QTest::newRow("End selects the last") << QStringList{"End"} << QList<int>{5} << 5;
    QTest::newRow("Down at the last entry selects it alone")
        << QStringList{"Down", "Ctrl+End", "Down"} << QList<int>{5} << 5;
    QTest::newRow("Up on the first entry selects it alone")
        << QStringList{"Down", "Shift+Down", "Ctrl+Home", "Up"} << QList<int>{0} << 0;
    QTest::newRow("Shift with arrows extends")
        << QStringList{"Down", "Shift+Down", "Shift+Down"} << QList<int>{1, 2, 3} << 3;
    QTest::newRow("Shift+End extends to the last")
        << QStringList{"Down", "Down", "Down", "Down", "Shift+End"} << QList<int>{4, 5} << 5;
    QTest::newRow("Ctrl moves the mark, Ctrl+Space adds")
        << QStringList{"Home", "Ctrl+Down", "Ctrl+Down", "Ctrl+Space"} << QList<int>{0, 2} << 2;
    QTest::newRow("Ctrl+Home on the first entry changes nothing")
        << QStringList{"Down", "Ctrl+Up", "Ctrl+Home"} << QList<int>{1} << 0;
}

void TestFileListBox::keysSelectAsInAnyList() {
    QFETCH(QStringList, keys);
    QFETCH(QList<int>, selected);
    QFETCH(int, current);
    for (const char* name : {"a", "b", "c", "d", "e", "f"}) {
        Touch(name);
    }
    QWidget window;
    auto* list = new FileListBox(&window);
    QString error;
    QVERIFY(list->SetPath(Folder(), error));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    list->setFocus(Qt::TabFocusReason);
    QCOMPARE(list->ListIndex(), 0);
    QVERIFY(!list->Selected(0));

    for (const QString& key : keys) {
        QTest::keySequence(list, QKeySequence(key));
    }

    QList<int> now;
    for (int i = 0; i < list->ListCount(); ++i) {
        if (list->Selected(i)) {
            now.append(i);
        }
    }
    QCOMPARE(now, selected);
    QCOMPARE(list->ListIndex(), current);
}

void TestFileListBox::takingTheFocusShowsTheCurrentEntry_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("current");
    QTest::newRow("a hundred entries") << 100 << 50;
    // Laid out in batches: the mark may lie in one not laid out yet.
    QTest::newRow("the mark past the first batch")
        << FileListBox::kLayoutBatch + 100 << FileListBox::kLayoutBatch + 50;
}

void TestFileListBox::takingTheFocusShowsTheCurrentEntry() {
    QFETCH(int, count);
    QFETCH(int, current);
    for (int i = 0; i < count; ++i) {
        Touch("f" + QByteArray::number(100000 + i));
    }
    QWidget window;
    auto* list = new FileListBox(&window);
    list->setGeometry(0, 0, 200, 100);
    auto* other = new QWidget(&window);
    other->setFocusPolicy(Qt::StrongFocus);
    QString error;
    QVERIFY(list->SetPath(Folder(), error));
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    other->setFocus();
    // Listed anew, laid out only as far as the first batch.
    list->Refresh();
    list->SetListIndex(current);
    QVERIFY(list->viewport()->rect().intersects(list->visualRect(list->currentIndex())));
    list->verticalScrollBar()->setValue(list->verticalScrollBar()->maximum());
    const QRect shown = list->viewport()->rect();
    QVERIFY(!shown.intersects(list->visualRect(list->currentIndex())));

    list->setFocus(Qt::TabFocusReason);

    QVERIFY(shown.contains(list->visualRect(list->currentIndex())));
    QCOMPARE(list->ListIndex(), current);
}

QTEST_MAIN(TestFileListBox)
#include "tst_filelistbox.moc"
