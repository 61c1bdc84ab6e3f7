// The file list: what it lists, the raw bytes of each name, selection and current entry.
#include "filelistbox.h"
#include "filteredfolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

class TestFileListBox : public QObject {
    Q_OBJECT

private slots:
    void init();

    void listsVisibleRegularFilesSortedWithCaseIgnored();
    void keepsRawBytesOfNamesThatAreNotUtf8();
    void outOfRangeEntriesAreEmptyAndUnselected();
    void setListIndexKeepsSelection();
    void listIndexSetWhileHiddenShowsWhenListShows();
    void refreshReadsFolderAgainAndClearsSelection();
    void failedPathWriteChangesNothing();
    void rejectedPatternChangesNothing();
    void emptyPatternListsEveryFile();
    void filteredFolderListsTheSame_data();
    void filteredFolderListsTheSame();

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
        list->SetVisible(!hidden);
        list->SetListIndex(2);
        QCOMPARE(list->ListIndex(), 2);
        list->SetVisible(true);
        QCOMPARE(list->currentIndex().row(), 2);
        QCOMPARE(list->ListIndex(), 2);
        QVERIFY(list->Selected(0));
        QVERIFY(!list->Selected(2));

        // A mark set before the list is filled again does not outlive the old entries.
        list->SetVisible(!hidden);
        list->SetListIndex(1);
        list->Refresh();
        list->SetVisible(true);
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

void TestFileListBox::filteredFolderListsTheSame_data() {
    QTest::addColumn<QString>("filter");
    QTest::newRow("the start filter") << QStringLiteral("*.txt;*.doc;*.htm;*.asp;*.html;*.xml");
    QTest::newRow("every file") << QStringLiteral("*");
    QTest::newRow("empty") << QString();
    QTest::newRow("sets and one character") << QStringLiteral(" [ab]?.* ; *.INI ");
}

void TestFileListBox::filteredFolderListsTheSame() {
    QFETCH(QString, filter);
    for (const QByteArray& name :
         QList<QByteArray>{"b.txt", "A.txt", "a.TXT", "B.doc", ".hidden.txt", "d.ini", "ab.htm",
                           "caf\xC3\xA9.txt", "Zed.html", "_x.asp", "10.txt"}) {
        Touch(name);
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

QTEST_MAIN(TestFileListBox)
#include "tst_filelistbox.moc"
