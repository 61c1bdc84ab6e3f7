// SPDX-License-Identifier: GPL-3.0-or-later
// Folder browsing in the main window: the drive, folder and filter handlers that keep the file
// list in step, their messages and restores, and the Clear button. Two drives, d1 and d2, are
// folders of a temporary folder; the window starts on d1/sub.
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "fixeddrivesource.h"
#include "frmmain.h"
#include "hookedeventpump.h"
#include "msgboxstyle.h"
#include "scriptedmessagebox.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

const QString kDrivePrefix = QStringLiteral("An error occurred trying to change the drive: ");
const QString kFolderPrefix = QStringLiteral("An error occurred trying to change the folder: ");
const QString kGone = QStringLiteral("No such file or directory");

using Names = QList<QByteArray>;

}  // namespace

class TestBrowsing : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void pickingDrivesAndOpeningFoldersMoveTheFileList();
    void driveNotReady_data();
    void driveNotReady();
    void folderRejectedByFileList_data();
    void folderRejectedByFileList();
    void openFolderFromCommandLine_data();
    void openFolderFromCommandLine();
    void typingSetsFilterOnEveryKeystroke();
    void rejectedFilterKeepsListAndText_data();
    void rejectedFilterKeepsListAndText();
    void listsFollowTheFolder_data();
    void listsFollowTheFolder();
    void clearEmptiesBothTextsOnly_data();
    void clearEmptiesBothTextsOnly();

private:
    QByteArray Path(const char* relative) const {
        return QFile::encodeName(folder_->path()) + '/' + relative;
    }
    void Touch(const char* relative);
    void Pick(const char* drive);
    // Makes folder the folder list's current entry, as a click on it does.
    void Select(const char* folder);
    // Opens folder with Enter, as a user does.
    void Open(const char* folder);
    // Removes victim as soon as the folder list shows target: after the folder list has read
    // target and before the file list does, as when a folder vanishes in mid-change.
    void RemoveWhenShown(const QByteArray& target, const QByteArray& victim);
    Names FileNames() const;
    // The prompts shown; one not shown as OK with a critical icon and no title is marked.
    QStringList Prompts() const;

    DriveListBox* Drives() const {
        return window_->findChild<DriveListBox*>(QStringLiteral("drvFolder"));
    }
    DirListBox* Folders() const {
        return window_->findChild<DirListBox*>(QStringLiteral("dirFolder"));
    }
    FileListBox* Files() const {
        return window_->findChild<FileListBox*>(QStringLiteral("filFolder"));
    }
    QLineEdit* Filter() const {
        return window_->findChild<QLineEdit*>(QStringLiteral("txtFilePattern"));
    }

    std::unique_ptr<QTemporaryDir> folder_;
    ScriptedMessageBox messages_;
    std::unique_ptr<FixedDriveSource> drives_;
    HookedEventPump pump_;
    std::unique_ptr<frmMain> window_;
};

void TestBrowsing::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    for (const char* file : {"d1/root.txt", "d1/sub/a.txt", "d1/sub/b.doc", "d1/sub/c.ini",
                             "d1/sub/inner/deep.txt", "d2/two.txt", "d2/deep/x.txt"}) {
        Touch(file);
    }
    messages_ = ScriptedMessageBox{};
    drives_ = std::make_unique<FixedDriveSource>(QList<QByteArray>{"/", Path("d1"), Path("d2")});
    frmMain::Services services;
    services.messages = &messages_;
    services.drives = drives_.get();
    services.pump = &pump_;
    window_ = std::make_unique<frmMain>(services);

    QString error;
    QVERIFY2(Folders()->SetPath(Path("d1/sub"), error), qPrintable(error));
    Drives()->SetDrive(Path("d1/sub"));
    QCOMPARE(Drives()->Drive(), DriveName(Path("d1")));
    QCOMPARE(Folders()->Path(), Path("d1/sub"));
    QCOMPARE(Files()->Path(), Path("d1/sub"));
    QCOMPARE(messages_.calls.size(), 0);
}

void TestBrowsing::cleanup() {
    window_.reset();
    drives_.reset();
    folder_.reset();
}

void TestBrowsing::Touch(const char* relative) {
    const QString path = QFile::decodeName(Path(relative));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

void TestBrowsing::Pick(const char* drive) {
    const int index = Drives()->findData(Path(drive));
    QVERIFY(index >= 0);
    Drives()->setCurrentIndex(index);
}

void TestBrowsing::Select(const char* folder) {
    // The folder list keeps each entry's full path under Qt::UserRole.
    for (QTreeWidgetItemIterator it(Folders()); *it; ++it) {
        if ((*it)->data(0, Qt::UserRole).toByteArray() == Path(folder)) {
            Folders()->setCurrentItem(*it);
            return;
        }
    }
    QFAIL("no such entry in the folder list");
}

void TestBrowsing::Open(const char* folder) {
    Select(folder);
    QTest::keyClick(Folders(), Qt::Key_Return);
}

void TestBrowsing::RemoveWhenShown(const QByteArray& target, const QByteArray& victim) {
    connect(Folders(), &QTreeWidget::currentItemChanged, this, [=](QTreeWidgetItem* current) {
        if (current && current->data(0, Qt::UserRole).toByteArray() == target) {
            QDir(QFile::decodeName(victim)).removeRecursively();
        }
    });
}

Names TestBrowsing::FileNames() const {
    Names names;
    for (int i = 0; i < Files()->ListCount(); ++i) {
        names.append(Files()->List(i));
    }
    return names;
}

QStringList TestBrowsing::Prompts() const {
    QStringList prompts;
    for (const ScriptedMessageBox::Call& call : messages_.calls) {
        const bool critical = call.flags == MsgBoxFlag::Critical && call.title.isEmpty();
        prompts.append(critical
                           ? call.prompt
                           : QStringLiteral("(not a critical box without title) ") + call.prompt);
    }
    return prompts;
}

void TestBrowsing::pickingDrivesAndOpeningFoldersMoveTheFileList() {
    Pick("d2");
    QCOMPARE(Folders()->Path(), Path("d2"));
    QCOMPARE(Files()->Path(), Path("d2"));
    QCOMPARE(FileNames(), Names{"two.txt"});

    Open("d2/deep");
    QCOMPARE(Folders()->Path(), Path("d2/deep"));
    QCOMPARE(FileNames(), Names{"x.txt"});

    // Each drive comes back on the folder last shown on it.
    Pick("d1");
    QCOMPARE(Folders()->Path(), Path("d1/sub"));
    QCOMPARE(FileNames(), (Names{"a.txt", "b.doc"}));
    Pick("d2");
    QCOMPARE(Files()->Path(), Path("d2/deep"));
    QCOMPARE(messages_.calls.size(), 0);
}

void TestBrowsing::driveNotReady_data() {
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("shownFolderGone");
    QTest::addColumn<bool>("shownDriveReady");
    QTest::addColumn<QByteArray>("expectedFolder");
    QTest::addColumn<Names>("expectedFiles");
    QTest::addColumn<QStringList>("expectedPrompts");

    const QString reason = QStringLiteral("The drive is not ready.");
    QTest::newRow("back on the drive and folder shown before")
        << reason << false << true << QByteArray("d1/sub") << Names{"a.txt", "b.doc"}
        << QStringList{kDrivePrefix + reason};
    QTest::newRow("empty description: the bare prefix")
        << QString() << false << true << QByteArray("d1/sub") << Names{"a.txt", "b.doc"}
        << QStringList{kDrivePrefix};
    QTest::newRow("folder shown before gone: nested change moves both lists to the drive")
        << reason << true << true << QByteArray("d1") << Names{"root.txt"}
        << QStringList{kDrivePrefix + reason};
    QTest::newRow("drive shown before not ready either: reported once more, then the end")
        << reason << false << false << QByteArray("d1/sub") << Names{"a.txt", "b.doc"}
        << QStringList{kDrivePrefix + reason, kDrivePrefix + QStringLiteral("d1 went too")};
}

void TestBrowsing::driveNotReady() {
    QFETCH(QString, reason);
    QFETCH(bool, shownFolderGone);
    QFETCH(bool, shownDriveReady);
    QFETCH(QByteArray, expectedFolder);
    QFETCH(Names, expectedFiles);
    QFETCH(QStringList, expectedPrompts);
    drives_->notReady.insert(Path("d2"), reason);
    if (!shownDriveReady) {
        drives_->notReady.insert(Path("d1"), QStringLiteral("d1 went too"));
    }
    if (shownFolderGone) {
        QVERIFY(QDir(QFile::decodeName(Path("d1/sub"))).removeRecursively());
    }
    // While the first message is open, only the drive list has moved.
    QList<QByteArray> seenAtFirstMessage;
    messages_.onShow = [&](const ScriptedMessageBox::Call&) {
        if (seenAtFirstMessage.isEmpty()) {
            seenAtFirstMessage = {Drives()->Drive().MountPoint(), Folders()->Path(),
                                  Files()->Path()};
        }
    };

    Pick("d2");

    QCOMPARE(Prompts(), expectedPrompts);
    QCOMPARE(seenAtFirstMessage, (QList<QByteArray>{Path("d2"), Path("d1/sub"), Path("d1/sub")}));
    QCOMPARE(Drives()->Drive(), DriveName(Path("d1")));
    QCOMPARE(Folders()->Path(), Path(expectedFolder));
    QCOMPARE(Files()->Path(), Path(expectedFolder));
    QCOMPARE(FileNames(), expectedFiles);
}

void TestBrowsing::openFolderFromCommandLine_data() {
    QTest::addColumn<QByteArray>("argument");
    QTest::addColumn<bool>("relative");
    QTest::addColumn<QByteArray>("expectedDrive");
    QTest::addColumn<QByteArray>("expectedFolder");
    QTest::addColumn<Names>("expectedFiles");
    QTest::addColumn<QStringList>("expectedPrompts");

    QTest::newRow("a folder on another drive: all three lists move")
        << QByteArray("d2/deep") << false << QByteArray("d2") << QByteArray("d2/deep")
        << Names{"x.txt"} << QStringList{};
    QTest::newRow("relative to the current folder, with dots and a trailing separator")
        << QByteArray("d1/sub/../sub/inner/") << true << QByteArray("d1")
        << QByteArray("d1/sub/inner") << Names{"deep.txt"} << QStringList{};
    QTest::newRow("a folder that is not there: the folder message, the lists stay")
        << QByteArray("d2/gone") << false << QByteArray("d1") << QByteArray("d1/sub")
        << Names{"a.txt", "b.doc"} << QStringList{kFolderPrefix + kGone};
    QTest::newRow("a file, not a folder: the folder message, the lists stay")
        << QByteArray("d2/two.txt") << false << QByteArray("d1") << QByteArray("d1/sub")
        << Names{"a.txt", "b.doc"}
        << QStringList{kFolderPrefix + QStringLiteral("Not a directory")};
}

void TestBrowsing::openFolderFromCommandLine() {
    QFETCH(QByteArray, argument);
    QFETCH(bool, relative);
    QFETCH(QByteArray, expectedDrive);
    QFETCH(QByteArray, expectedFolder);
    QFETCH(Names, expectedFiles);
    QFETCH(QStringList, expectedPrompts);
    const QString before = QDir::currentPath();
    if (relative) {
        QVERIFY(QDir::setCurrent(folder_->path()));
    }
    const bool opened = window_->OpenFolder(relative ? argument : Path(argument.constData()));
    QDir::setCurrent(before);

    QCOMPARE(opened, expectedPrompts.isEmpty());
    QCOMPARE(Prompts(), expectedPrompts);
    QCOMPARE(Drives()->Drive(), DriveName(Path(expectedDrive.constData())));
    QCOMPARE(Folders()->Path(), Path(expectedFolder.constData()));
    QCOMPARE(Files()->Path(), Path(expectedFolder.constData()));
    QCOMPARE(FileNames(), expectedFiles);
}

void TestBrowsing::folderRejectedByFileList_data() {
    QTest::addColumn<bool>("pickDrive");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<QByteArray>("victim");
    QTest::addColumn<bool>("goneBeforeOpening");
    QTest::addColumn<QByteArray>("expectedDrive");
    QTest::addColumn<QByteArray>("expectedFolder");
    QTest::addColumn<int>("expectedPrompts");

    QTest::newRow("folder opened in the folder list: back on the file list's folder")
        << false << QByteArray("d1/sub/inner") << QByteArray("d1/sub/inner") << false
        << QByteArray("d1") << QByteArray("d1/sub") << 1;
    QTest::newRow("drive picked: the folder message, the drive list stays on the pick")
        << true << QByteArray("d2") << QByteArray("d2") << false << QByteArray("d2")
        << QByteArray("d1/sub") << 1;
    QTest::newRow("restore fails too: reported again, lists left as they stand")
        << false << QByteArray("d1/sub/inner") << QByteArray("d1/sub") << false << QByteArray("d1")
        << QByteArray("d1/sub/inner") << 2;
    QTest::newRow("folder gone before it was opened: the folder list does not move")
        << false << QByteArray("d1/sub/inner") << QByteArray("d1/sub/inner") << true
        << QByteArray("d1") << QByteArray("d1/sub") << 1;
}

void TestBrowsing::folderRejectedByFileList() {
    QFETCH(bool, pickDrive);
    QFETCH(QByteArray, target);
    QFETCH(QByteArray, victim);
    QFETCH(bool, goneBeforeOpening);
    QFETCH(QByteArray, expectedDrive);
    QFETCH(QByteArray, expectedFolder);
    QFETCH(int, expectedPrompts);
    QByteArray folderAtFirstMessage;
    messages_.onShow = [&](const ScriptedMessageBox::Call&) {
        if (folderAtFirstMessage.isEmpty()) {
            folderAtFirstMessage = Folders()->Path();
        }
    };

    if (pickDrive) {
        RemoveWhenShown(Path(target), Path(victim));
        Pick(target.constData());
    } else {
        Select(target.constData());
        if (goneBeforeOpening) {
            QVERIFY(QDir(QFile::decodeName(Path(victim))).removeRecursively());
        } else {
            RemoveWhenShown(Path(target), Path(victim));
        }
        QTest::keyClick(Folders(), Qt::Key_Return);
    }

    QCOMPARE(Prompts(), QStringList(expectedPrompts, kFolderPrefix + kGone));
    // The message follows the folder list onto the target unless that could not be read.
    QCOMPARE(folderAtFirstMessage, Path(goneBeforeOpening ? "d1/sub" : target.constData()));
    QCOMPARE(Drives()->Drive(), DriveName(Path(expectedDrive)));
    QCOMPARE(Folders()->Path(), Path(expectedFolder));
    QCOMPARE(Files()->Path(), Path("d1/sub"));
    QCOMPARE(FileNames(), (Names{"a.txt", "b.doc"}));
    if (expectedFolder == "d1/sub") {
        QVERIFY(!Folders()->EntryPaths().contains(Path(victim)));
    }
}

void TestBrowsing::typingSetsFilterOnEveryKeystroke() {
    Filter()->clear();
    QCOMPARE(FileNames(), (Names{"a.txt", "b.doc", "c.ini"}));
    QSignalSpy rebuilds(Files()->model(), &QAbstractItemModel::modelReset);
    QStringList filters;

    for (const char key : QByteArray("*.doc")) {
        QTest::keyClick(Filter(), key);
        filters.append(Files()->Pattern());
    }

    QCOMPARE(filters, (QStringList{"*", "*.", "*.d", "*.do", "*.doc"}));
    QCOMPARE(rebuilds.count(), 5);
    QCOMPARE(FileNames(), Names{"b.doc"});
    QCOMPARE(messages_.calls.size(), 0);
}

void TestBrowsing::rejectedFilterKeepsListAndText_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("unbalanced [") << QStringLiteral("*.[tx");
    QTest::newRow("holding /") << QStringLiteral("sub/*.txt");
    QTest::newRow("a range with its ends reversed") << QStringLiteral("[z-a]*");
}

void TestBrowsing::rejectedFilterKeepsListAndText() {
    QFETCH(QString, text);
    Filter()->setText(QStringLiteral("*.txt"));
    const QColor normal = Filter()->palette().color(QPalette::Base);
    QCOMPARE(Filter()->toolTip(), QString());

    Filter()->setText(text);

    QCOMPARE(Filter()->text(), text);
    QCOMPARE(Files()->Pattern(), QStringLiteral("*.txt"));
    QCOMPARE(FileNames(), Names{"a.txt"});
    QCOMPARE(messages_.calls.size(), 0);
    // The box says it was refused: a reddish base, and why with the filter still in use.
    const QColor refused = Filter()->palette().color(QPalette::Base);
    QVERIFY2(refused.red() > refused.green() && refused.red() > refused.blue(),
             qPrintable(refused.name()));
    QVERIFY2(Filter()->toolTip().contains(QStringLiteral("\"*.txt\"")),
             qPrintable(Filter()->toolTip()));

    Filter()->setText(QStringLiteral("*.doc"));
    QCOMPARE(Filter()->palette().color(QPalette::Base), normal);
    QCOMPARE(Filter()->toolTip(), QString());
    QCOMPARE(FileNames(), Names{"b.doc"});
}

void TestBrowsing::listsFollowTheFolder_data() {
    QTest::addColumn<QByteArray>("made");     // a file made from outside, with its folders
    QTest::addColumn<QByteArray>("removed");  // a folder removed from outside
    QTest::addColumn<QByteArray>("folder");   // the folder shown afterwards
    QTest::addColumn<QByteArray>("entry");    // the folder list's current entry then
    QTest::addColumn<Names>("files");
    QTest::addColumn<QStringList>("prompts");
    QTest::newRow("a file made appears")
        << QByteArray("d1/sub/new.txt") << QByteArray() << QByteArray("d1/sub")
        << QByteArray("d1/sub/inner") << Names{"a.txt", "b.doc", "new.txt"} << QStringList();
    QTest::newRow("a folder made appears, the entry moved to stays current")
        << QByteArray("d1/sub/made/x.txt") << QByteArray() << QByteArray("d1/sub")
        << QByteArray("d1/sub/inner") << Names{"a.txt", "b.doc"} << QStringList();
    QTest::newRow("the folder shown goes: said, then the folder above")
        << QByteArray() << QByteArray("d1/sub") << QByteArray("d1") << QByteArray("d1")
        << Names{"root.txt"} << QStringList{kFolderPrefix + kGone};
}

void TestBrowsing::listsFollowTheFolder() {
    QFETCH(QByteArray, made);
    QFETCH(QByteArray, removed);
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, entry);
    QFETCH(Names, files);
    QFETCH(QStringList, prompts);

    Select("d1/sub/inner");
    if (!made.isEmpty()) {
        Touch(made.constData());
    }
    if (!removed.isEmpty()) {
        QVERIFY(QDir(QFile::decodeName(Path(removed.constData()))).removeRecursively());
    }

    QTRY_COMPARE(FileNames(), files);
    QTRY_COMPARE(Folders()->Path(), Path(folder.constData()));
    if (!made.isEmpty()) {
        const QByteArray madeIn = made.left(made.lastIndexOf('/'));
        QTRY_VERIFY(Folders()->EntryPaths().contains(Path(madeIn.constData())));
    }
    QCOMPARE(Files()->Path(), Path(folder.constData()));
    QCOMPARE(Prompts(), prompts);
    QCOMPARE(Folders()->currentItem()->data(0, Qt::UserRole).toByteArray(),
             Path(entry.constData()));
}

void TestBrowsing::clearEmptiesBothTextsOnly_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("both boxes filled") << QStringLiteral("old\nline");
    QTest::newRow("both boxes already empty") << QString();
}

void TestBrowsing::clearEmptiesBothTextsOnly() {
    QFETCH(QString, text);
    window_->findChild<QPlainTextEdit*>(QStringLiteral("txtFind"))->setPlainText(text);
    window_->findChild<QPlainTextEdit*>(QStringLiteral("txtReplace"))->setPlainText(text);
    window_->findChild<QCheckBox*>(QStringLiteral("chkSelected"))->setChecked(true);
    Files()->SetSelected(1, true);

    window_->findChild<QPushButton*>(QStringLiteral("cmdClear"))->click();

    QCOMPARE(window_->FindText(), QByteArray());
    QCOMPARE(window_->ReplaceText(), QByteArray());
    QCOMPARE(messages_.calls.size(), 0);
    QCOMPARE(Filter()->text(), QStringLiteral("*.txt;*.doc;*.htm;*.asp;*.html;*.xml"));
    QVERIFY(window_->findChild<QCheckBox*>(QStringLiteral("chkSelected"))->isChecked());
    QVERIFY(!Files()->Selected(0));
    QVERIFY(Files()->Selected(1));
}

QTEST_MAIN(TestBrowsing)
#include "tst_browsing.moc"
