// SPDX-License-Identifier: GPL-3.0-or-later
// The main window as built from the layout table: every control's kind, place, caption,
// font and start state, the tab chain, the fixed size, the caption and the start-up filter.
#include "fixeddrivesource.h"
#include "frmmain.h"
#include "hookedeventpump.h"
#include "layouttable.h"
#include "scriptedmessagebox.h"

#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "pictureboxwidget.h"
#include "qteventpump.h"

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(const ControlRow*)
Q_DECLARE_METATYPE(QAccessible::Role)

namespace {

QString Name(const ControlRow& row) {
    return QString::fromLatin1(row.name.data(), qsizetype(row.name.size()));
}

const ControlRow& Row(const char* name) {
    for (const ControlRow& row : kLayout) {
        if (row.name == name) {
            return row;
        }
    }
    qFatal("no layout row %s", name);
}

// The text a control shows as its caption or start text.
QString ShownText(const QWidget* control) {
    if (const auto* box = qobject_cast<const QGroupBox*>(control)) {
        return box->title();
    }
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (const auto* line = qobject_cast<const QLineEdit*>(control)) {
        return line->text();
    }
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(control)) {
        return text->toPlainText();
    }
    return QString();
}

bool IsKind(const QWidget* control, ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame:
            return qobject_cast<const QGroupBox*>(control);
        case ControlKind::Label:
            return qobject_cast<const QLabel*>(control);
        case ControlKind::TextBox:
            return qobject_cast<const QLineEdit*>(control) ||
                   qobject_cast<const QPlainTextEdit*>(control);
        case ControlKind::CheckBox:
            return qobject_cast<const QCheckBox*>(control);
        case ControlKind::CommandButton:
            return qobject_cast<const QPushButton*>(control) ||
                   qobject_cast<const QToolButton*>(control);
        case ControlKind::DriveListBox:
            return qobject_cast<const DriveListBox*>(control);
        case ControlKind::DirListBox:
            return qobject_cast<const DirListBox*>(control);
        case ControlKind::FileListBox:
            return qobject_cast<const FileListBox*>(control);
        case ControlKind::PictureBox:
            return qobject_cast<const PictureBoxWidget*>(control);
    }
    return false;
}

// The width a control's caption needs inside it, with the font it actually uses.
int NeededWidth(const QWidget* control, const QString& text) {
    const QFontMetrics metrics(control->font());
    const int advance = metrics.horizontalAdvance(text);
    QStyle* style = control->style();
    if (const auto* check = qobject_cast<const QCheckBox*>(control)) {
        return check->sizeHint().width();
    }
    if (qobject_cast<const QAbstractButton*>(control)) {
        return advance + 2 * style->pixelMetric(QStyle::PM_ButtonMargin);
    }
    if (qobject_cast<const QGroupBox*>(control)) {
        return advance + 16;
    }
    if (const auto* line = qobject_cast<const QLineEdit*>(control)) {
        const QMargins margins = line->textMargins();
        return advance + margins.left() + margins.right() +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth) + 4;
    }
    return advance;
}

// The interface of object, found by walking the accessible tree down from root; null if absent.
QAccessibleInterface* FindInTree(QAccessibleInterface* root, const QObject* object) {
    if (root->object() == object) {
        return root;
    }
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface* found = FindInTree(root->child(i), object)) {
            return found;
        }
    }
    return nullptr;
}

// What a screen reader finds shown of the busy display: the caption, then the progress bar's
// "value of maximum".
QString HeardBusyDisplay(QAccessibleInterface* caption, QAccessibleInterface* box) {
    QStringList heard;
    if (!caption->state().invisible) {
        heard.append(caption->text(QAccessible::Name));
    }
    if (!box->state().invisible && box->role() == QAccessible::ProgressBar) {
        heard.append(QStringLiteral("%1 of %2")
                         .arg(box->valueInterface()->currentValue().toInt())
                         .arg(box->valueInterface()->maximumValue().toInt()));
    }
    return heard.join(QLatin1Char(' '));
}

}  // namespace

class TestFrmMain : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void eventPumpDispatchesOnFirstYieldAndAfterItsInterval();

    void tableMatchesDesignGeometry();
    void controlsAreBuiltFromTable_data();
    void controlsAreBuiltFromTable();
    void startSettings();
    void windowHasFixedSizeAndNoMaximise();
    void windowOpensCentred();
    void captionCarriesVersionAndCredit();
    void tabVisitsControlsInTabIndexOrder();
    void captionsFitTheirControls_data();
    void captionsFitTheirControls();
    void fileListCoversBusyDisplay();
    void enterInTextBoxAddsLineBreakAndPressesNothing_data();
    void enterInTextBoxAddsLineBreakAndPressesNothing();
    void enterOnFocusedButtonPressesIt_data();
    void enterOnFocusedButtonPressesIt();
    void frameCaptionsSitOnTheTopBorder_data();
    void frameCaptionsSitOnTheTopBorder();
    void startUpListsOnlyFilesMatchingDefaultFilter();
    void textsKeepNonBreakingSpaces();
    void pastedLineBreakReachesTheRunOnce_data();
    void pastedLineBreakReachesTheRunOnce();
    void textsFollowEveryEdit();
    void accessibleTreeNamesEveryControl_data();
    void accessibleTreeNamesEveryControl();
    void progressBoxTellsTheRunsProgressWhileShown();

private:
    std::unique_ptr<frmMain> MakeWindow(const WindowFonts& fonts = WindowFonts::Standard());

    ScriptedMessageBox messages_;
    FixedDriveSource drives_;
    HookedEventPump pump_;
    std::unique_ptr<frmMain> window_;
};

std::unique_ptr<frmMain> TestFrmMain::MakeWindow(const WindowFonts& fonts) {
    frmMain::Services services;
    services.messages = &messages_;
    services.drives = &drives_;
    services.pump = &pump_;
    services.fonts = fonts;
    return std::make_unique<frmMain>(services);
}

void TestFrmMain::init() {
    messages_ = ScriptedMessageBox{};
    window_ = MakeWindow();
}

void TestFrmMain::cleanup() {
    window_.reset();
}

void TestFrmMain::tableMatchesDesignGeometry() {
    // Frames: 135 twips from the window's edges, 120 between each other.
    for (const char* frame : {"Frame1", "Frame2", "Frame3"}) {
        QCOMPARE(Row(frame).left, 135);
        QCOMPARE(Row(frame).left + Row(frame).width + 135, kClientWidth);
    }
    QCOMPARE(Row("Frame1").top, 135);
    QCOMPARE(Row("Frame1").top + Row("Frame1").height + 120, Row("Frame2").top);
    QCOMPARE(Row("Frame2").top + Row("Frame2").height + 120, Row("Frame3").top);
    QCOMPARE(Row("Frame3").top + Row("Frame3").height + 135, kClientHeight);
    // The Process button is centred in its frame.
    QCOMPARE(Row("cmdProcess").left * 2 + Row("cmdProcess").width, Row("Frame3").width);
    // The file list, the progress box and the filter box end at the same right edge.
    for (const char* name : {"filFolder", "picProgress", "txtFilePattern"}) {
        QCOMPARE(Row(name).left + Row(name).width, 8025);
    }
    // The busy caption and the progress box share their horizontal centre.
    QCOMPARE(Row("lblProcessing").left * 2 + Row("lblProcessing").width,
             Row("picProgress").left * 2 + Row("picProgress").width);
    // Every value is a whole number of pixels.
    for (const ControlRow& row : kLayout) {
        for (int twips : {row.left, row.top, row.width, row.height}) {
            QVERIFY2(twips % kTwipsPerPixel == 0, row.name.data());
        }
    }
}

void TestFrmMain::controlsAreBuiltFromTable_data() {
    QTest::addColumn<const ControlRow*>("row");
    for (const ControlRow& row : kLayout) {
        QTest::newRow(row.name.data()) << &row;
    }
}

void TestFrmMain::controlsAreBuiltFromTable() {
    QFETCH(const ControlRow*, row);
    const QWidget* control = window_->Control(Name(*row));
    QVERIFY(control);
    QVERIFY(IsKind(control, row->kind));
    const QString container =
        QString::fromLatin1(row->container.data(), qsizetype(row->container.size()));
    QCOMPARE(control->parentWidget()->objectName(), container);
    QCOMPARE(control->geometry(),
             QRect(row->left / 15, row->top / 15, row->width / 15, row->height / 15));
    QCOMPARE(ShownText(control), QString::fromLatin1(row->caption));
    QVERIFY(control->isEnabled());
    QCOMPARE(control->isHidden(), row->name == "picProgress");
    const WindowFonts fonts = WindowFonts::Standard();
    const QFont& expected = row->font == FontKind::Window ? fonts.window
                            : row->font == FontKind::Bold ? fonts.bold
                                                          : fonts.largeBold;
    QCOMPARE(control->font().family(), expected.family());
    QCOMPARE(control->font().pixelSize(), expected.pixelSize());
    QCOMPARE(control->font().bold(), row->font != FontKind::Window);
}

void TestFrmMain::startSettings() {
    for (const char* name : {"chkSelected", "chkCaseSensitive", "chkFind"}) {
        QCOMPARE(window_->findChild<QCheckBox*>(QString::fromLatin1(name))->checkState(),
                 Qt::Unchecked);
    }
    QCOMPARE(window_->findChild<QCheckBox*>(QStringLiteral("chkSelected"))->toolTip(),
             QStringLiteral("Unselecting this will process every file in the file list, "
                            "regardless of whether it has been selected."));
    for (const char* name : {"txtFind", "txtReplace"}) {
        const auto* box = window_->findChild<QPlainTextEdit*>(QString::fromLatin1(name));
        QCOMPARE(box->lineWrapMode(), QPlainTextEdit::NoWrap);
        QCOMPARE(box->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(box->tabChangesFocus());
    }
    const auto* files = window_->findChild<FileListBox*>(QStringLiteral("filFolder"));
    QCOMPARE(files->selectionMode(), QAbstractItemView::ExtendedSelection);
    QVERIFY(files->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(files->Pattern(), QStringLiteral("*.txt;*.doc;*.htm;*.asp;*.html;*.xml"));
    const auto* busy = window_->findChild<QLabel*>(QStringLiteral("lblProcessing"));
    QVERIFY(busy->alignment() & Qt::AlignHCenter);
    const auto* process = window_->findChild<QToolButton*>(QStringLiteral("cmdProcess"));
    QCOMPARE(process->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QVERIFY(!process->icon().isNull());
    const auto* clear = window_->findChild<QPushButton*>(QStringLiteral("cmdClear"));
    QVERIFY(!clear->isDefault());
    QVERIFY(!clear->autoDefault());
    QVERIFY(!window_->windowIcon().isNull());
    QVERIFY(window_->windowIcon().availableSizes().contains(QSize(16, 16)));
}

void TestFrmMain::windowHasFixedSizeAndNoMaximise() {
    QCOMPARE(window_->size(), QSize(571, 511));
    QCOMPARE(window_->minimumSize(), QSize(571, 511));
    QCOMPARE(window_->maximumSize(), QSize(571, 511));
    const Qt::WindowFlags flags = window_->windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
}

void TestFrmMain::windowOpensCentred() {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint offset = window_->geometry().center() - screen.center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
}

void TestFrmMain::captionCarriesVersionAndCredit() {
    const QString caption = window_->windowTitle();
    QVERIFY2(caption.startsWith(QStringLiteral("Quillmark v1.12")), qPrintable(caption));
    // The credit follows the version directly: the digits end where the credit begins.
    QVERIFY(caption.size() > QStringLiteral("Quillmark v1.12").size());
    QVERIFY(!caption.at(15).isDigit());
}

void TestFrmMain::tabVisitsControlsInTabIndexOrder() {
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    window_->Control(QStringLiteral("drvFolder"))->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 11; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(visited, (QStringList{"drvFolder", "dirFolder", "filFolder", "txtFilePattern",
                                   "txtFind", "txtReplace", "cmdProcess", "chkCaseSensitive",
                                   "cmdClear", "chkSelected", "chkFind", "drvFolder"}));
}

void TestFrmMain::captionsFitTheirControls_data() {
    QTest::addColumn<bool>("substitute");
    QTest::newRow("Tahoma") << false;
    QTest::newRow("substitute font") << true;
}

void TestFrmMain::captionsFitTheirControls() {
    QFETCH(bool, substitute);
    const std::unique_ptr<frmMain> window =
        MakeWindow(substitute ? WindowFonts::Substitute() : WindowFonts::Standard());
    if (!substitute) {
        QVERIFY2(WindowFonts::LoadTahoma(), "Tahoma is neither installed nor loadable");
        QCOMPARE(QFontInfo(window->Control(QStringLiteral("cmdProcess"))->font()).family(),
                 QStringLiteral("Tahoma"));
    }
    for (const ControlRow& row : kLayout) {
        const QWidget* control = window->Control(Name(row));
        const QString text = ShownText(control);
        if (text.isEmpty()) {
            continue;
        }
        const int needed = NeededWidth(control, text);
        // The filter label's end lies under the filter box by design; it must fit up to there.
        const int room = row.name == "lblFileFilter"
                             ? (Row("txtFilePattern").left - row.left) / kTwipsPerPixel
                             : control->width();
        QVERIFY2(
            needed <= room,
            qPrintable(
                QStringLiteral("%1: needs %2 px, has %3").arg(Name(row)).arg(needed).arg(room)));
        QVERIFY2(QFontMetrics(control->font()).height() <= control->height(),
                 qPrintable(Name(row)));
    }
}

void TestFrmMain::fileListCoversBusyDisplay() {
    const QWidget* files = window_->Control(QStringLiteral("filFolder"));
    if (!files || !files->parentWidget()) {
        QFAIL("the file list has no frame");
    }
    const QWidget* frame = files->parentWidget();
    const qsizetype filesAt = frame->children().indexOf(const_cast<QWidget*>(files));
    for (const char* name : {"lblProcessing", "picProgress"}) {
        const QWidget* covered = window_->Control(QString::fromLatin1(name));
        QVERIFY2(files->geometry().contains(covered->geometry()), name);
        // Later children are drawn on top of earlier ones.
        QVERIFY2(frame->children().indexOf(const_cast<QWidget*>(covered)) < filesAt, name);
    }
    // The filter label lies beneath the filter box that overlaps it.
    QVERIFY(frame->children().indexOf(window_->Control(QStringLiteral("lblFileFilter"))) <
            frame->children().indexOf(window_->Control(QStringLiteral("txtFilePattern"))));
}

void TestFrmMain::enterInTextBoxAddsLineBreakAndPressesNothing_data() {
    QTest::addColumn<QString>("box");
    QTest::newRow("txtFind") << QStringLiteral("txtFind");
    QTest::newRow("txtReplace") << QStringLiteral("txtReplace");
}

void TestFrmMain::enterInTextBoxAddsLineBreakAndPressesNothing() {
    QFETCH(QString, box);
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QWidget* text = window_->Control(box);
    text->setFocus();
    QTest::keyClicks(text, QStringLiteral("ab"));
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, QStringLiteral("c"));
    QTest::keyClick(text, Qt::Key_Enter);

    const QByteArray typed =
        box == QLatin1String("txtFind") ? window_->FindText() : window_->ReplaceText();
    QCOMPARE(typed, QByteArray("ab\nc\n"));
    QCOMPARE(messages_.calls.size(), 0);
    QCOMPARE(pump_.count, 0);
}

void TestFrmMain::enterOnFocusedButtonPressesIt_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::newRow("Enter on Process") << QStringLiteral("cmdProcess") << int(Qt::Key_Return);
    QTest::newRow("keypad Enter on Process") << QStringLiteral("cmdProcess") << int(Qt::Key_Enter);
    QTest::newRow("Space on Process") << QStringLiteral("cmdProcess") << int(Qt::Key_Space);
    QTest::newRow("Enter on Clear") << QStringLiteral("cmdClear") << int(Qt::Key_Return);
}

void TestFrmMain::enterOnFocusedButtonPressesIt() {
    QFETCH(QString, button);
    QFETCH(int, key);
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    // With no search text, Process only warns; Clear empties the replacement text.
    qobject_cast<QPlainTextEdit*>(window_->Control(QStringLiteral("txtReplace")))
        ->setPlainText(QStringLiteral("abc"));
    QWidget* control = window_->Control(button);
    control->setFocus();

    QTest::keyClick(control, Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);

    const bool process = button == QLatin1String("cmdProcess");
    QCOMPARE(messages_.calls.size(), process ? 1 : 0);
    QCOMPARE(window_->ReplaceText(), process ? QByteArray("abc") : QByteArray());
}

void TestFrmMain::frameCaptionsSitOnTheTopBorder_data() {
    QTest::addColumn<QString>("frame");
    for (const char* frame : {"Frame1", "Frame2", "Frame3"}) {
        QTest::newRow(frame) << QString::fromLatin1(frame);
    }
}

void TestFrmMain::frameCaptionsSitOnTheTopBorder() {
    QFETCH(QString, frame);
    const auto* box = qobject_cast<const QGroupBox*>(window_->Control(frame));
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.textAlignment = box->alignment();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QRect caption =
        box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    const QRect border =
        box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, box);

    // The top border runs through the caption, which shows whole above the controls inside.
    QVERIFY2(caption.top() < border.top() && border.top() < caption.bottom(),
             qPrintable(QStringLiteral("caption %1 to %2, border at %3")
                            .arg(caption.top())
                            .arg(caption.bottom())
                            .arg(border.top())));
    QVERIFY(caption.width() >= QFontMetrics(box->font()).horizontalAdvance(box->title()));
    for (const QWidget* control : box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QVERIFY2(control->geometry().top() > caption.bottom(), qPrintable(control->objectName()));
    }
}

void TestFrmMain::startUpListsOnlyFilesMatchingDefaultFilter() {
    QTemporaryDir folder;
    for (const char* name : {"notes.ini", "a.txt", "B.HTM", "page.html", "data.xml", "letter.doc",
                             "x.asp", ".hidden.txt", "readme"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("sub.txt")));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(folder.path()));
    const std::unique_ptr<frmMain> window = MakeWindow();
    QDir::setCurrent(previous);

    const auto* files = window->findChild<FileListBox*>(QStringLiteral("filFolder"));
    QStringList listed;
    for (int i = 0; i < files->ListCount(); ++i) {
        listed.append(QString::fromUtf8(files->List(i)));
    }
    QCOMPARE(listed,
             (QStringList{"a.txt", "B.HTM", "data.xml", "letter.doc", "page.html", "x.asp"}));
    QCOMPARE(files->Path(), QFile::encodeName(folder.path()));
    QCOMPARE(window->findChild<DirListBox*>(QStringLiteral("dirFolder"))->Path(),
             QFile::encodeName(folder.path()));
}

void TestFrmMain::textsKeepNonBreakingSpaces() {
    const QString text = QStringLiteral("a\u00A0b\nc");
    window_->findChild<QPlainTextEdit*>(QStringLiteral("txtFind"))->setPlainText(text);
    QCOMPARE(window_->FindText(), text.toUtf8());
}

void TestFrmMain::pastedLineBreakReachesTheRunOnce_data() {
    QTest::addColumn<QString>("box");
    QTest::newRow("txtFind") << QStringLiteral("txtFind");
    QTest::newRow("txtReplace") << QStringLiteral("txtReplace");
}

// A "\r\n" pasted from a CRLF file is one line break, not two.
void TestFrmMain::pastedLineBreakReachesTheRunOnce() {
    QFETCH(QString, box);
    QGuiApplication::clipboard()->setText(QStringLiteral("one\r\ntwo"));
    window_->findChild<QPlainTextEdit*>(box)->paste();
    const QByteArray text =
        box == QLatin1String("txtFind") ? window_->FindText() : window_->ReplaceText();
    QCOMPARE(text, QByteArray("one\ntwo"));
}

// The texts a run reads follow every kind of edit, also after they were read once.
void TestFrmMain::textsFollowEveryEdit() {
    auto* box = window_->findChild<QPlainTextEdit*>(QStringLiteral("txtReplace"));
    box->setPlainText(QStringLiteral("one"));
    QCOMPARE(window_->ReplaceText(), QByteArray("one"));
    box->moveCursor(QTextCursor::End);
    QTest::keyClicks(box, QStringLiteral(" two"));
    QCOMPARE(window_->ReplaceText(), QByteArray("one two"));
    box->undo();
    QCOMPARE(window_->ReplaceText(), QByteArray("one"));
    box->clear();
    QCOMPARE(window_->ReplaceText(), QByteArray());
    box->insertPlainText(QStringLiteral("three"));
    QCOMPARE(window_->ReplaceText(), QByteArray("three"));
}

// A run's yields may skip dispatching within the pump's interval, never longer: an event
// waiting at the first yield, or at a yield after the interval, is dispatched by it.
void TestFrmMain::eventPumpDispatchesOnFirstYieldAndAfterItsInterval() {
    QtEventPump pump;
    QObject target;
    int dispatched = 0;
    QMetaObject::invokeMethod(
        &target, [&] { ++dispatched; }, Qt::QueuedConnection);
    pump.DoEvents();
    QCOMPARE(dispatched, 1);
    QMetaObject::invokeMethod(
        &target, [&] { ++dispatched; }, Qt::QueuedConnection);
    QTest::qSleep(int(QtEventPump::kIntervalMs) + 1);
    pump.DoEvents();
    QCOMPARE(dispatched, 2);
}

void TestFrmMain::accessibleTreeNamesEveryControl_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QAccessible::Role>("role");
    QTest::addColumn<bool>("shown");
    // The control is named by the row's name up to a colon.
    const auto row = [](const char* tag, const char* name, QAccessible::Role role, bool shown) {
        QTest::newRow(tag) << QString::fromLatin1(name) << role << shown;
    };
    row("Frame1", "Files to search:", QAccessible::Grouping, true);
    row("drvFolder: not its value", "Drive", QAccessible::ComboBox, true);
    row("dirFolder", "Folders", QAccessible::Tree, true);
    row("filFolder", "Files", QAccessible::List, true);
    row("lblProcessing: beneath the file list", "Processing. Please wait...",
        QAccessible::StaticText, false);
    row("picProgress: idle", "Progress", QAccessible::ProgressBar, false);
    row("chkSelected", "Process Selected Files Only", QAccessible::CheckBox, true);
    row("lblFileFilter: partly beneath the filter box", "File Filter:", QAccessible::StaticText,
        true);
    row("txtFilePattern: not its frame's caption", "File name filter", QAccessible::EditableText,
        true);
    row("Frame2", "Text:", QAccessible::Grouping, true);
    row("Label1", "Find:", QAccessible::StaticText, true);
    row("txtFind: not its frame's caption", "Search text", QAccessible::EditableText, true);
    row("Label2", "Replace With:", QAccessible::StaticText, true);
    row("txtReplace", "Replacement text", QAccessible::EditableText, true);
    row("chkCaseSensitive", "Case Sensitive", QAccessible::CheckBox, true);
    row("cmdClear", "Clear all text", QAccessible::Button, true);
    row("Frame3", "Process", QAccessible::Grouping, true);
    row("chkFind", "Find (not replace) only", QAccessible::CheckBox, true);
    row("cmdProcess", "Process", QAccessible::Button, true);
}

void TestFrmMain::accessibleTreeNamesEveryControl() {
    QFETCH(QString, name);
    QFETCH(QAccessible::Role, role);
    QFETCH(bool, shown);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    const QString control = QString::fromLatin1(QTest::currentDataTag()).section(':', 0, 0);
    QAccessibleInterface* found =
        FindInTree(QAccessible::queryAccessibleInterface(window_.get()), window_->Control(control));
    QVERIFY(found);
    QCOMPARE(found->text(QAccessible::Name), name);
    QCOMPARE(found->role(), role);
    QCOMPARE(!found->state().invisible, shown);
}

// While a run is in progress the busy caption shows, and the progress box is a progress bar
// with the painter's position and maximum; idle, neither is heard.
void TestFrmMain::progressBoxTellsTheRunsProgressWhileShown() {
    QTemporaryDir folder;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("hello") == 5);
    }
    QVERIFY(window_->OpenFolder(QFile::encodeName(folder.path())));
    window_->findChild<QPlainTextEdit*>(QStringLiteral("txtFind"))->setPlainText("hello");
    window_->findChild<QCheckBox*>(QStringLiteral("chkFind"))->setChecked(true);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(window_.get());
    QAccessibleInterface* caption = FindInTree(tree, window_->Control("lblProcessing"));
    QAccessibleInterface* box = FindInTree(tree, window_->Control("picProgress"));
    QStringList heard;  // each once; the empty bar before the first file is left out
    pump_.hook = [&](int) {
        const QString now = HeardBusyDisplay(caption, box);
        if (!now.isEmpty() && !now.endsWith(QLatin1String(" 0 of 0")) && !heard.contains(now)) {
            heard.append(now);
        }
    };

    window_->findChild<QToolButton*>(QStringLiteral("cmdProcess"))->click();

    QCOMPARE(heard,
             (QStringList{"Processing. Please wait... 0 of 2", "Processing. Please wait... 1 of 2",
                          "Processing. Please wait... 2 of 2"}));
    QCOMPARE(HeardBusyDisplay(caption, box), QString());
    QCOMPARE(box->valueInterface()->maximumValue().toInt(), 0);  // not the last run's
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
