// SPDX-License-Identifier: GPL-3.0-or-later
// The Process command of the main window: its dialogs, the locked window, the run, the
// highlighting and the summary, against real files in a temporary folder.
#include "countingfilestore.h"
#include "filelistbox.h"
#include "fixeddrivesource.h"
#include "frmmain.h"
#include "hookedeventpump.h"
#include "mappedfile.h"
#include "msgboxstyle.h"
#include "pictureboxwidget.h"
#include "scriptedmessagebox.h"
#include "stopsignals.h"

#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <csignal>
#include <memory>
#include <stdexcept>

namespace {

const QString kConfirm = QStringLiteral(
    "Are you sure you wish to perform this text replace? Please remember that it is NOT "
    "REVERSABLE. If you screw up some important files it's tough luck!\r\n\r\nAre you sure?");
const QString kHighlight = QStringLiteral("Do you want to highlight files found in the file list?");
const QString kEmpty = QStringLiteral("Please enter text to search for!");
const QString kFailure = QStringLiteral("An error occurred trying to process the files.");

constexpr int kWarning = 48;
constexpr int kConfirmFlags = 308;
constexpr int kHighlightFlags = 292;
constexpr int kSummaryFlags = 64;
constexpr int kUndoableSummaryFlags = 70;
constexpr int kUndoQuestionFlags = 292;
constexpr int kFailureFlags = 16;

// The six controls a run disables.
const QStringList kLockedDuringRun = {
    QStringLiteral("cmdProcess"),     QStringLiteral("drvFolder"), QStringLiteral("dirFolder"),
    QStringLiteral("txtFilePattern"), QStringLiteral("txtFind"),   QStringLiteral("txtReplace")};

}  // namespace

class TestCmdProcess : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        StopSignals::Install();
        QVERIFY(MappedFile::InstallBusErrorHandler());
    }
    void init();
    void cleanup();

    void inputThatStartsNoRun_data();
    void inputThatStartsNoRun();
    void searchTextOfSpacesIsNotEmpty();
    void replaceRunAnsweredYesChangesFilesOnDisk();
    void findModeAsksNoConfirmation();
    void windowIsLockedDuringRunAndUnlockedAfter();
    void yesToHighlightingSelectsExactlyTheHits();
    void highlightingIsOneChangeAndShowsTheFirstHit();
    void noHitsOffersNoHighlighting();
    void summaryListsFilesLeftUnchanged();
    void hitFileVanishedBeforeHighlightingStillGetsSummary();
    void secondClickDuringCommandStartsNoSecondRun();
    void closingDuringRunStopsAfterFileInHand_data();
    void closingDuringRunStopsAfterFileInHand();
    void failureInsideCommandShowsErrorAndUnlocks_data();
    void failureInsideCommandShowsErrorAndUnlocks();
    void selectedOnlyProcessesSelectedEntries_data();
    void selectedOnlyProcessesSelectedEntries();
    void clearDuringRunLeavesRemainingFilesUnchanged();
    void undoLastReplace_data();
    void undoLastReplace();

private:
    void WriteFile(const QString& name, const QByteArray& content);
    QByteArray ReadFile(const QString& name) const;
    // Points the file list at the temporary folder with the filter "*".
    void ShowFolder();
    void SetTexts(const QString& find, const QString& replace);
    QStringList SelectedNames() const;
    void Click() { window_->findChild<QToolButton*>(QStringLiteral("cmdProcess"))->click(); }
    QCheckBox* Check(const char* name) const {
        return window_->findChild<QCheckBox*>(QString::fromLatin1(name));
    }
    bool Enabled(const QString& name) const {
        const QWidget* control = window_->Control(name);
        return control && control->isEnabled();
    }
    bool Hidden(const QString& name) const {
        const QWidget* control = window_->Control(name);
        return !control || control->isHidden();
    }
    FileListBox* Files() const {
        return window_->findChild<FileListBox*>(QStringLiteral("filFolder"));
    }

    std::unique_ptr<QTemporaryDir> folder_;
    ScriptedMessageBox messages_;
    FixedDriveSource drives_;
    HookedEventPump pump_;
    CountingFileStore files_;
    std::unique_ptr<frmMain> window_;
};

void TestCmdProcess::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(folder_->isValid());
    messages_ = ScriptedMessageBox{};
    pump_.hook = nullptr;
    pump_.count = 0;
    files_.reads.clear();
    files_.saves.clear();
    files_.failRead = nullptr;
    files_.outOfMemory = false;
    frmMain::Services services;
    services.messages = &messages_;
    services.drives = &drives_;
    services.pump = &pump_;
    services.files = &files_;
    window_ = std::make_unique<frmMain>(services);
}

void TestCmdProcess::cleanup() {
    window_.reset();
    folder_.reset();
}

void TestCmdProcess::WriteFile(const QString& name, const QByteArray& content) {
    QFile file(folder_->filePath(name));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray TestCmdProcess::ReadFile(const QString& name) const {
    QFile file(folder_->filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void TestCmdProcess::ShowFolder() {
    QString error;
    QVERIFY(Files()->SetPattern(QStringLiteral("*"), error));
    QVERIFY2(Files()->SetPath(QFile::encodeName(folder_->path()), error), qPrintable(error));
}

void TestCmdProcess::SetTexts(const QString& find, const QString& replace) {
    window_->findChild<QPlainTextEdit*>(QStringLiteral("txtFind"))->setPlainText(find);
    window_->findChild<QPlainTextEdit*>(QStringLiteral("txtReplace"))->setPlainText(replace);
}

QStringList TestCmdProcess::SelectedNames() const {
    QStringList names;
    for (int i = 0; i < Files()->ListCount(); ++i) {
        if (Files()->Selected(i)) {
            names.append(QString::fromUtf8(Files()->List(i)));
        }
    }
    return names;
}

void TestCmdProcess::inputThatStartsNoRun_data() {
    QTest::addColumn<QString>("find");
    QTest::addColumn<bool>("findMode");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QList<int>>("expectedFlags");
    QTest::addColumn<QString>("firstPrompt");

    QTest::newRow("empty search text, replace mode: warning only")
        << QString() << false << QList<int>{} << QList<int>{kWarning} << kEmpty;
    QTest::newRow("empty search text, find mode: warning only")
        << QString() << true << QList<int>{} << QList<int>{kWarning} << kEmpty;
    QTest::newRow("No at the confirmation: nothing read or written")
        << QStringLiteral("hello") << false << QList<int>{MsgBoxResult::No}
        << QList<int>{kConfirmFlags} << kConfirm;
}

void TestCmdProcess::inputThatStartsNoRun() {
    QFETCH(QString, find);
    QFETCH(bool, findMode);
    QFETCH(QList<int>, answers);
    QFETCH(QList<int>, expectedFlags);
    QFETCH(QString, firstPrompt);
    WriteFile(QStringLiteral("a.txt"), "hello world");
    ShowFolder();
    SetTexts(find, QStringLiteral("bye"));
    Check("chkFind")->setChecked(findMode);
    messages_.answers = answers;

    Click();

    QCOMPARE(messages_.Flags(), expectedFlags);
    QCOMPARE(messages_.calls.first().prompt, firstPrompt);
    QCOMPARE(files_.reads.size(), 0);
    QCOMPARE(files_.saves.size(), 0);
    QCOMPARE(pump_.count, 0);
    QCOMPARE(ReadFile(QStringLiteral("a.txt")), QByteArray("hello world"));
    for (const QString& name : kLockedDuringRun) {
        QVERIFY2(Enabled(name), qPrintable(name));
    }
}

void TestCmdProcess::searchTextOfSpacesIsNotEmpty() {
    ShowFolder();
    SetTexts(QStringLiteral("  "), QString());
    messages_.answers = {MsgBoxResult::No};

    Click();

    QCOMPARE(messages_.Flags(), QList<int>{kConfirmFlags});
}

void TestCmdProcess::replaceRunAnsweredYesChangesFilesOnDisk() {
    WriteFile(QStringLiteral("a.txt"), "hello world, Hello");
    WriteFile(QStringLiteral("b.txt"), "nothing here");
    WriteFile(QStringLiteral("c.txt"), "say HELLO");
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = {MsgBoxResult::Yes, MsgBoxResult::No};

    Click();

    QCOMPARE(ReadFile(QStringLiteral("a.txt")), QByteArray("bye world, bye"));
    QCOMPARE(ReadFile(QStringLiteral("b.txt")), QByteArray("nothing here"));
    QCOMPARE(ReadFile(QStringLiteral("c.txt")), QByteArray("say bye"));
    QCOMPARE(messages_.Flags(),
             (QList<int>{kConfirmFlags, kHighlightFlags, kUndoableSummaryFlags}));
    QCOMPARE(messages_.calls[0].prompt, kConfirm);
    QCOMPARE(messages_.calls[0].title, QStringLiteral("Are you sure?"));
    QCOMPARE(messages_.calls[1].prompt, kHighlight);
    QCOMPARE(messages_.calls[1].title, QStringLiteral("Highlight?"));
    QCOMPARE(messages_.calls[2].prompt,
             QStringLiteral("Text replace complete!\r\n\r\n2 of 3 selected files were altered:"
                            "\r\na.txt\r\nc.txt\r\n"));
    QCOMPARE(messages_.calls[2].title, QString());
    QCOMPARE(SelectedNames(), QStringList());
}

void TestCmdProcess::findModeAsksNoConfirmation() {
    WriteFile(QStringLiteral("a.txt"), "hello");
    WriteFile(QStringLiteral("b.txt"), "other");
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    Check("chkFind")->setChecked(true);
    messages_.answers = {MsgBoxResult::No};

    Click();

    QCOMPARE(messages_.Flags(), (QList<int>{kHighlightFlags, kSummaryFlags}));
    QCOMPARE(messages_.calls[1].prompt,
             QStringLiteral("Text find complete!\r\n\r\n1 of 2 selected files were found:"
                            "\r\na.txt\r\n"));
    QCOMPARE(files_.saves.size(), 0);
    QCOMPARE(ReadFile(QStringLiteral("a.txt")), QByteArray("hello"));
}

void TestCmdProcess::windowIsLockedDuringRunAndUnlockedAfter() {
    WriteFile(QStringLiteral("a.txt"), "hello");
    WriteFile(QStringLiteral("b.txt"), "hello");
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = {MsgBoxResult::Yes, MsgBoxResult::No};
    // Per yield: which of the six lockable controls were enabled, and what else was seen.
    struct Seen {
        QStringList enabled;
        bool progressVisible;
        bool fileListVisible;
        bool othersEnabled;
        int bar;  // bar-coloured columns along the middle row of the progress box
    };
    auto* progress = window_->findChild<PictureBoxWidget*>(QStringLiteral("picProgress"));
    QList<Seen> seen;
    pump_.hook = [&](int) {
        Seen state;
        for (const QString& name : kLockedDuringRun) {
            if (Enabled(name)) {
                state.enabled.append(name);
            }
        }
        state.progressVisible = !Hidden(QStringLiteral("picProgress"));
        state.fileListVisible = !Files()->isHidden();
        state.othersEnabled = true;
        for (const char* name : {"cmdClear", "chkSelected", "chkCaseSensitive", "chkFind"}) {
            state.othersEnabled &= Enabled(QString::fromLatin1(name));
        }
        const QImage& image = progress->image();
        state.bar = 0;
        while (state.bar < image.width() && image.pixelColor(state.bar, image.height() / 2) ==
                                                progress->ResolveColour(0x007F0000)) {
            ++state.bar;
        }
        seen.append(state);
    };
    bool lockedAtHighlightOffer = false;
    messages_.onShow = [&](const ScriptedMessageBox::Call& call) {
        if (call.flags == kHighlightFlags) {
            lockedAtHighlightOffer =
                !Enabled(QStringLiteral("cmdProcess")) && !Hidden(QStringLiteral("picProgress"));
        }
    };

    Click();

    // The yield before the lock sees the window unlocked; every yield inside the run sees
    // it locked, with the progress box shown in place of the file list.
    QVERIFY(seen.size() >= 3);
    QCOMPARE(seen[0].enabled, kLockedDuringRun);
    QVERIFY(!seen[0].progressVisible);
    for (qsizetype i = 1; i < seen.size(); ++i) {
        QCOMPARE(seen[i].enabled, QStringList());
        QVERIFY(seen[i].progressVisible);
        QVERIFY(!seen[i].fileListVisible);
        QVERIFY(seen[i].othersEnabled);
        // The bar goes to i of the last index after file i: empty after the first of two.
        QCOMPARE(seen[i].bar, i + 1 < seen.size() ? 0 : progress->image().width());
    }
    QVERIFY(lockedAtHighlightOffer);
    for (const QString& name : kLockedDuringRun) {
        QVERIFY2(Enabled(name), qPrintable(name));
    }
    QVERIFY(Hidden(QStringLiteral("picProgress")));
    QVERIFY(!Files()->isHidden());
}

void TestCmdProcess::yesToHighlightingSelectsExactlyTheHits() {
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        WriteFile(QString::fromLatin1(name), name[0] == 'b' || name[0] == 'd' ? "x hit" : "x");
    }
    ShowFolder();
    Files()->SetSelected(0, true);  // a.txt, not a hit: the highlighting starts afresh
    SetTexts(QStringLiteral("hit"), QStringLiteral("hit"));
    Check("chkFind")->setChecked(true);
    messages_.answers = {MsgBoxResult::Yes};
    QStringList selectedAtSummary;
    messages_.onShow = [&](const ScriptedMessageBox::Call& call) {
        if (call.flags == kSummaryFlags) {
            selectedAtSummary = SelectedNames();
        }
    };

    Click();

    const QStringList hits = {QStringLiteral("b.txt"), QStringLiteral("d.txt")};
    QCOMPARE(selectedAtSummary, hits);
    QCOMPARE(SelectedNames(), hits);
}

void TestCmdProcess::highlightingIsOneChangeAndShowsTheFirstHit() {
    // 300 files, the hits scattered over the second half: the run leaves the list on its last
    // entry, far below the first hit.
    for (int i = 0; i < 300; ++i) {
        WriteFile(QStringLiteral("f%1.txt").arg(i, 3, 10, QLatin1Char('0')),
                  i >= 150 && i % 3 == 0 ? "hit" : "x");
    }
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    ShowFolder();
    SetTexts(QStringLiteral("hit"), QString());
    Check("chkFind")->setChecked(true);
    messages_.answers = {MsgBoxResult::Yes};
    QSignalSpy changes(Files()->selectionModel(), &QItemSelectionModel::selectionChanged);
    int changesAtSummary = -1;
    int currentAtSummary = -1;
    bool firstHitShown = false;
    messages_.onShow = [&](const ScriptedMessageBox::Call& call) {
        if (call.flags == kHighlightFlags) {
            changes.clear();
        } else if (call.flags == kSummaryFlags) {
            changesAtSummary = int(changes.size());
            currentAtSummary = Files()->currentIndex().row();
            firstHitShown =
                Files()->viewport()->rect().contains(Files()->visualRect(Files()->currentIndex()));
        }
    };

    Click();

    QCOMPARE(SelectedNames().size(), 50);
    QCOMPARE(SelectedNames().first(), QStringLiteral("f150.txt"));
    QCOMPARE(changesAtSummary, 1);
    QCOMPARE(currentAtSummary, 150);
    QVERIFY(firstHitShown);
}

void TestCmdProcess::noHitsOffersNoHighlighting() {
    WriteFile(QStringLiteral("a.txt"), "abc");
    ShowFolder();
    SetTexts(QStringLiteral("zzz"), QStringLiteral("y"));
    messages_.answers = {MsgBoxResult::Yes};

    Click();

    QCOMPARE(messages_.Flags(), (QList<int>{kConfirmFlags, kSummaryFlags}));
    QCOMPARE(messages_.calls[1].prompt,
             QStringLiteral("Text replace complete!\r\n\r\n0 of 1 selected files were altered:"
                            "\r\n"));
}

void TestCmdProcess::summaryListsFilesLeftUnchanged() {
    WriteFile(QStringLiteral("a.txt"), "hello");
    WriteFile(QStringLiteral("locked.txt"), "hello");
    QVERIFY(QFile::setPermissions(folder_->filePath(QStringLiteral("locked.txt")),
                                  QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = {MsgBoxResult::Yes, MsgBoxResult::No};

    Click();

    QCOMPARE(messages_.calls.last().prompt,
             QStringLiteral("Text replace complete!\r\n\r\n1 of 2 selected files were altered:"
                            "\r\na.txt\r\n\r\nLeft unchanged:\r\nlocked.txt (read-only)\r\n"));
    QCOMPARE(ReadFile(QStringLiteral("locked.txt")), QByteArray("hello"));
}

void TestCmdProcess::hitFileVanishedBeforeHighlightingStillGetsSummary() {
    WriteFile(QStringLiteral("a.txt"), "hit");
    WriteFile(QStringLiteral("b.txt"), "hit");
    ShowFolder();
    SetTexts(QStringLiteral("hit"), QStringLiteral("x"));
    Check("chkFind")->setChecked(true);
    messages_.answers = {MsgBoxResult::Yes};
    messages_.onShow = [&](const ScriptedMessageBox::Call& call) {
        if (call.flags == kHighlightFlags) {
            QVERIFY(QFile::remove(folder_->filePath(QStringLiteral("a.txt"))));
        }
    };

    Click();

    QCOMPARE(messages_.Flags(), (QList<int>{kHighlightFlags, kSummaryFlags}));
    QCOMPARE(SelectedNames(), QStringList{QStringLiteral("b.txt")});
    for (const QString& name : kLockedDuringRun) {
        QVERIFY2(Enabled(name), qPrintable(name));
    }
}

void TestCmdProcess::secondClickDuringCommandStartsNoSecondRun() {
    WriteFile(QStringLiteral("a.txt"), "hit");
    WriteFile(QStringLiteral("b.txt"), "miss");
    ShowFolder();
    SetTexts(QStringLiteral("hit"), QStringLiteral("x"));
    Check("chkFind")->setChecked(true);
    messages_.answers = {MsgBoxResult::No};
    // The second click of a double click reaches the button in the yield before the lock,
    // while it is still enabled.
    pump_.hook = [&](int call) {
        if (call == 1) {
            Click();
        }
    };

    Click();

    QCOMPARE(files_.reads.size(), 2);
    QCOMPARE(messages_.Flags(), (QList<int>{kHighlightFlags, kSummaryFlags}));
    QCOMPARE(window_->Results().FilesProcessed, 2);
}

void TestCmdProcess::closingDuringRunStopsAfterFileInHand_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("window closed") << 0;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestCmdProcess::closingDuringRunStopsAfterFileInHand() {
    QFETCH(int, signal);
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt"}) {
        WriteFile(QString::fromLatin1(name), "hello");
    }
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = {MsgBoxResult::Yes};
    window_->show();
    // Yield 1 precedes the lock, yield 2 the loop; yield 3 follows the first file.
    pump_.hook = [&](int call) {
        if (call == 3) {
            signal ? (void)::raise(signal) : (void)window_->close();
        }
    };

    Click();

    QCOMPARE(messages_.Flags(), QList<int>{kConfirmFlags});
    QCOMPARE(ReadFile(QStringLiteral("a.txt")), QByteArray("bye"));
    for (const char* name : {"b.txt", "c.txt", "d.txt"}) {
        QCOMPARE(ReadFile(QString::fromLatin1(name)), QByteArray("hello"));
    }
    QCOMPARE(files_.reads.size(), 1);
    QVERIFY(!window_->isVisible());
    // No summary or highlighting question after a stop.
    QCOMPARE(messages_.calls.size(), 1);
}

void TestCmdProcess::failureInsideCommandShowsErrorAndUnlocks_data() {
    QTest::addColumn<bool>("outOfMemory");
    QTest::addColumn<QList<int>>("flags");
    QTest::addColumn<QString>("shown");
    QTest::newRow("an error: the failure message")
        << false << QList<int>{kConfirmFlags, kFailureFlags} << kFailure;
    // Regression: the failure message replaced the account of the files already altered.
    QTest::newRow("an allocation failure: the summary of what was done before it")
        << true << QList<int>{kConfirmFlags, kHighlightFlags, kUndoableSummaryFlags}
        << QStringLiteral(
               "Text replace complete!\r\n\r\n1 of 2 selected files were altered:\r\na.txt\r\n"
               "\r\nLeft unchanged:\r\nb.txt (not enough memory)\r\n");
}

void TestCmdProcess::failureInsideCommandShowsErrorAndUnlocks() {
    QFETCH(bool, outOfMemory);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(QString::fromLatin1(name), "hello");
    }
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = {MsgBoxResult::Yes, MsgBoxResult::No};
    files_.failRead = [](const QByteArray& path) { return path.endsWith("/b.txt"); };
    files_.outOfMemory = outOfMemory;

    Click();

    QTEST(messages_.Flags(), "flags");
    QTEST(messages_.calls.last().prompt, "shown");
    if (!outOfMemory) {
        QCOMPARE(messages_.calls.last().title, QString());
    }
    QCOMPARE(ReadFile(QStringLiteral("a.txt")), QByteArray("bye"));
    QCOMPARE(ReadFile(QStringLiteral("c.txt")), QByteArray("hello"));
    for (const QString& name : kLockedDuringRun) {
        QVERIFY2(Enabled(name), qPrintable(name));
    }
    QVERIFY(Hidden(QStringLiteral("picProgress")));
    // Regression: the file list stayed hidden behind "Processing. Please wait...".
    QVERIFY(!Files()->isHidden());
}

void TestCmdProcess::selectedOnlyProcessesSelectedEntries_data() {
    QTest::addColumn<Qt::CheckState>("state");
    QTest::addColumn<QByteArray>("altered");
    QTest::newRow("checked: the selected entry only") << Qt::Checked << QByteArray("b");
    // The box's grayed value is 2; only 1 turns the option on.
    QTest::newRow("grayed counts as unchecked") << Qt::PartiallyChecked << QByteArray("abc");
}

void TestCmdProcess::selectedOnlyProcessesSelectedEntries() {
    QFETCH(Qt::CheckState, state);
    QFETCH(QByteArray, altered);
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(QString::fromLatin1(name), "hello");
    }
    ShowFolder();
    Files()->SetSelected(1, true);
    Check("chkSelected")->setTristate(true);
    Check("chkSelected")->setCheckState(state);
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = {MsgBoxResult::Yes, MsgBoxResult::No};

    Click();

    for (const char name : {'a', 'b', 'c'}) {
        QCOMPARE(ReadFile(QString(QLatin1Char(name)) + QStringLiteral(".txt")),
                 QByteArray(altered.contains(name) ? "bye" : "hello"));
    }
    QCOMPARE(window_->Results().FilesProcessed, altered.size());
    QCOMPARE(window_->Results().FilesAffected, altered.size());
}

void TestCmdProcess::clearDuringRunLeavesRemainingFilesUnchanged() {
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        WriteFile(QString::fromLatin1(name), "hello");
    }
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = {MsgBoxResult::Yes, MsgBoxResult::No};
    bool clicked = false;
    pump_.hook = [&](int) {
        if (!clicked && files_.saves.size() == 1) {
            window_->findChild<QPushButton*>(QStringLiteral("cmdClear"))->click();
            clicked = true;
        }
    };

    Click();

    QVERIFY(clicked);
    QCOMPARE(window_->FindText(), QByteArray());
    QCOMPARE(window_->ReplaceText(), QByteArray());
    QCOMPARE(ReadFile(QStringLiteral("a.txt")), QByteArray("bye"));
    QCOMPARE(ReadFile(QStringLiteral("b.txt")), QByteArray("hello"));
    QCOMPARE(ReadFile(QStringLiteral("c.txt")), QByteArray("hello"));
    QCOMPARE(messages_.calls.last().prompt,
             QStringLiteral("Text replace complete!\r\n\r\n1 of 3 selected files were altered:"
                            "\r\na.txt\r\n"));
}

QTEST_MAIN(TestCmdProcess)
enum class UndoBy { SummaryButton, CtrlZ, CtrlZInFindBox, CtrlZAfterFindRun };

void TestCmdProcess::undoLastReplace_data() {
    QTest::addColumn<UndoBy>("by");
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QList<int>>("flags");
    QTest::addColumn<bool>("restored");
    const QList<int> replaced{kConfirmFlags, kHighlightFlags, kUndoableSummaryFlags};
    const int yes = MsgBoxResult::Yes;
    const int no = MsgBoxResult::No;
    const int ok = MsgBoxResult::OK;
    QTest::newRow("Undo in the summary box")
        << UndoBy::SummaryButton << QList<int>{yes, no, MsgBoxResult::Undo, ok}
        << replaced + QList<int>{kSummaryFlags} << true;
    QTest::newRow("Ctrl+Z, answered Yes")
        << UndoBy::CtrlZ << QList<int>{yes, no, ok, yes, ok}
        << replaced + QList<int>{kUndoQuestionFlags, kSummaryFlags} << true;
    QTest::newRow("Ctrl+Z, answered No") << UndoBy::CtrlZ << QList<int>{yes, no, ok, no}
                                         << replaced + QList<int>{kUndoQuestionFlags} << false;
    QTest::newRow("Ctrl+Z in the find box types, undoes nothing")
        << UndoBy::CtrlZInFindBox << QList<int>{yes, no, ok} << replaced << false;
    QTest::newRow("a later find run forgets the replace")
        << UndoBy::CtrlZAfterFindRun << QList<int>{yes, no, ok, ok}
        << replaced + QList<int>{kSummaryFlags} << false;
}

void TestCmdProcess::undoLastReplace() {
    QFETCH(UndoBy, by);
    QFETCH(QList<int>, answers);
    QFETCH(QList<int>, flags);
    QFETCH(bool, restored);
    WriteFile(QStringLiteral("a.txt"), "hello world, Hello");
    WriteFile(QStringLiteral("b.txt"), "nothing here");
    ShowFolder();
    SetTexts(QStringLiteral("hello"), QStringLiteral("bye"));
    messages_.answers = answers;
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QVERIFY(!window_->CanUndo());

    Click();
    if (by == UndoBy::CtrlZAfterFindRun) {
        Check("chkFind")->setChecked(true);
        Click();
    }
    QCOMPARE(window_->CanUndo(), by == UndoBy::CtrlZ || by == UndoBy::CtrlZInFindBox);
    if (by != UndoBy::SummaryButton) {
        auto* find = window_->findChild<QPlainTextEdit*>(QStringLiteral("txtFind"));
        QWidget* focus = by == UndoBy::CtrlZInFindBox ? static_cast<QWidget*>(find) : Files();
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Z, Qt::ControlModifier);
    }

    QCOMPARE(messages_.Flags(), flags);
    QCOMPARE(ReadFile(QStringLiteral("a.txt")),
             restored ? QByteArray("hello world, Hello") : QByteArray("bye world, bye"));
    QCOMPARE(ReadFile(QStringLiteral("b.txt")), QByteArray("nothing here"));
    if (restored) {
        QCOMPARE(messages_.calls.last().prompt,
                 QStringLiteral("Undo complete!\r\n\r\n1 of 1 altered files were restored:"
                                "\r\na.txt\r\n"));
        QVERIFY(!window_->CanUndo());
        QVERIFY(!Files()->isHidden());
        QVERIFY(Hidden(QStringLiteral("picProgress")));
    }
}

#include "tst_cmdprocess.moc"
