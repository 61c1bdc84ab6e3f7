#include "frmmain.h"

#include "accessiblenames.h"
#include "applicationrecord.h"
#include "batchrun.h"
#include "currentfolder.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "layouttable.h"
#include "msgboxstyle.h"
#include "pathsyntax.h"
#include "pictureboxwidget.h"
#include "posixfilestore.h"
#include "qteventpump.h"
#include "qtmessagebox.h"
#include "refusedtext.h"
#include "stopsignals.h"
#include "storagedrivesource.h"
#include "summary.h"
#include "undolastreplace.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleFactory>
#include <QTextDocument>
#include <QToolButton>

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <new>
#include <vector>

namespace {

// A check box's value: 0 unchecked, 1 checked, 2 grayed.
qint16 CheckValue(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        case Qt::Unchecked:
            break;
    }
    return 0;
}

// A text box's text with its line breaks as LF; unlike toPlainText, non-breaking spaces stay.
QString BoxText(const QPlainTextEdit* box) {
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

QRect PixelGeometry(const ControlRow& row) {
    return {TwipsToPixels(row.left), TwipsToPixels(row.top), TwipsToPixels(row.width),
            TwipsToPixels(row.height)};
}

}  // namespace

frmMain::frmMain(QWidget* parent) : frmMain(Services{}, parent) {}

frmMain::frmMain(const Services& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      services_(services) {
    if (!services_.messages) {
        ownMessages_ = std::make_unique<QtMessageBox>(this);
        services_.messages = ownMessages_.get();
    }
    if (!services_.drives) {
        ownDrives_ = std::make_unique<StorageDriveSource>();
        services_.drives = ownDrives_.get();
    }
    if (!services_.pump) {
        ownPump_ = std::make_unique<QtEventPump>();
        services_.pump = ownPump_.get();
    }
    if (!services_.files) {
        ownFiles_ = std::make_unique<PosixFileStore>();
        services_.files = ownFiles_.get();
    }

    // The desktop's titled group: the caption sits on the frame's top border, which stops short
    // of it. Without that style the frames keep the application's.
    frameStyle_.reset(QStyleFactory::create(QStringLiteral("Windows")));
    setObjectName(QString::fromLatin1(kWindowName.data(), qsizetype(kWindowName.size())));
    setWindowTitle(ApplicationRecord::Title());
    setWindowIcon(ApplicationRecord::Icon());
    setFont(services_.fonts.window);
    setFixedSize(TwipsToPixels(kClientWidth), TwipsToPixels(kClientHeight));
    BuildControls();
    SetAccessibleNames(*this);

    Form_Load();

    auto* undo = new QShortcut(QKeySequence::Undo, this);
    connect(undo, &QShortcut::activated, this, &frmMain::UndoRequested);
    filFolder->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(filFolder, &QWidget::customContextMenuRequested, this, &frmMain::filFolder_ContextMenu);

    // A stop signal closes the window as a user would: a run ends after the file in hand.
    if (StopSignals::ReadableOnStop() >= 0) {
        auto* stop =
            new QSocketNotifier(StopSignals::ReadableOnStop(), QSocketNotifier::Read, this);
        connect(stop, &QSocketNotifier::activated, this, [this] {
            char bytes[64];
            while (::read(StopSignals::ReadableOnStop(), bytes, sizeof bytes) > 0) {
            }
            closing_ = true;
            close();
        });
    }

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
}

frmMain::~frmMain() {
    // The frames outlive this body; they must not be left drawing with a deleted style.
    for (QGroupBox* frame : {Frame1, Frame2, Frame3}) {
        frame->setStyle(nullptr);
    }
}

void frmMain::BuildControls() {
    controls_.insert(objectName(), this);
    for (const ControlRow& row : kLayout) {
        const QString container =
            QString::fromLatin1(row.container.data(), qsizetype(row.container.size()));
        QWidget* control = CreateControl(row, controls_.value(container));
        control->setObjectName(QString::fromLatin1(row.name.data(), qsizetype(row.name.size())));
        control->setGeometry(PixelGeometry(row));
        switch (row.font) {
            case FontKind::Window:
                control->setFont(services_.fonts.window);
                break;
            case FontKind::Bold:
                control->setFont(services_.fonts.bold);
                break;
            case FontKind::LargeBold:
                control->setFont(services_.fonts.largeBold);
                break;
        }
        if (row.options & ControlOption::Hidden) {
            control->hide();
        }
        controls_.insert(control->objectName(), control);
    }
    controls_.remove(objectName());

    const auto find = [this]<typename T>(T*& member, const char* name) {
        member = qobject_cast<T*>(controls_.value(QString::fromLatin1(name)));
        Q_ASSERT(member);
    };
    find(Frame1, "Frame1");
    find(drvFolder, "drvFolder");
    find(dirFolder, "dirFolder");
    find(filFolder, "filFolder");
    find(lblProcessing, "lblProcessing");
    find(picProgress, "picProgress");
    find(chkSelected, "chkSelected");
    find(lblFileFilter, "lblFileFilter");
    find(txtFilePattern, "txtFilePattern");
    find(Frame2, "Frame2");
    find(Label1, "Label1");
    find(txtFind, "txtFind");
    find(Label2, "Label2");
    find(txtReplace, "txtReplace");
    find(chkCaseSensitive, "chkCaseSensitive");
    find(cmdClear, "cmdClear");
    find(Frame3, "Frame3");
    find(chkFind, "chkFind");
    find(cmdProcess, "cmdProcess");

    connect(txtFind->document(), &QTextDocument::contentsChanged, this,
            [this] { findText_.reset(); });
    connect(txtReplace->document(), &QTextDocument::contentsChanged, this,
            [this] { replaceText_.reset(); });

    chkSelected->setToolTip(
        tr("Unselecting this will process every file in the file list, "
           "regardless of whether it has been selected."));

    // A label lies beneath the other controls of its container; the file list covers the
    // busy caption and the progress box until a run hides it.
    for (QLabel* label : {lblProcessing, lblFileFilter, Label1, Label2}) {
        label->lower();
    }
    filFolder->raise();

    std::vector<const ControlRow*> byTabIndex;
    for (const ControlRow& row : kLayout) {
        byTabIndex.push_back(&row);
    }
    std::sort(byTabIndex.begin(), byTabIndex.end(),
              [](const ControlRow* a, const ControlRow* b) { return a->tabIndex < b->tabIndex; });
    QWidget* previous = nullptr;
    for (const ControlRow* row : byTabIndex) {
        QWidget* control =
            Control(QString::fromLatin1(row->name.data(), qsizetype(row->name.size())));
        if (!(control->focusPolicy() & Qt::TabFocus)) {
            continue;
        }
        if (previous) {
            setTabOrder(previous, control);
        }
        previous = control;
    }

    cmdProcess->installEventFilter(this);
    cmdClear->installEventFilter(this);

    connect(cmdProcess, &QToolButton::clicked, this, &frmMain::cmdProcess_Click);
    connect(drvFolder, &DriveListBox::Change, this, &frmMain::drvFolder_Change);
    connect(dirFolder, &DirListBox::Change, this, &frmMain::dirFolder_Change);
    connect(dirFolder, &DirListBox::OpenFailed, this, &frmMain::dirFolder_OpenFailed);
    connect(txtFilePattern, &QLineEdit::textChanged, this, &frmMain::txtFilePattern_Change);
    connect(filFolder, &FileListBox::FolderChanged, this, &frmMain::filFolder_FolderChanged);
    connect(filFolder, &FileListBox::FolderGone, this, &frmMain::filFolder_FolderGone);
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
}

QWidget* frmMain::CreateControl(const ControlRow& row, QWidget* container) {
    const QString caption = tr(row.caption);
    switch (row.kind) {
        case ControlKind::Frame: {
            auto* frame = new QGroupBox(caption, container);
            if (frameStyle_) {
                frame->setStyle(frameStyle_.get());
            }
            return frame;
        }
        case ControlKind::Label: {
            auto* label = new QLabel(caption, container);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(
                Qt::AlignTop |
                ((row.options & ControlOption::Centred) ? Qt::AlignHCenter : Qt::AlignLeft));
            return label;
        }
        case ControlKind::TextBox: {
            if (!(row.options & ControlOption::MultiLine)) {
                return new QLineEdit(caption, container);
            }
            auto* box = new QPlainTextEdit(caption, container);
            box->setLineWrapMode(QPlainTextEdit::NoWrap);
            box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            box->setTabChangesFocus(true);
            return box;
        }
        case ControlKind::CheckBox:
            return new QCheckBox(caption, container);
        case ControlKind::CommandButton: {
            if (!(row.options & ControlOption::Graphical)) {
                auto* button = new QPushButton(caption, container);
                button->setAutoDefault(false);
                button->setDefault(false);
                return button;
            }
            auto* button = new QToolButton(container);
            button->setText(caption);
            button->setIcon(ApplicationRecord::Icon());
            button->setIconSize(QSize(16, 16));
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            button->setFocusPolicy(Qt::StrongFocus);
            return button;
        }
        case ControlKind::DriveListBox:
            return new DriveListBox(*services_.drives, container);
        case ControlKind::DirListBox:
            return new DirListBox(*services_.drives, container);
        case ControlKind::FileListBox:
            // Form_Load gives it its filter, which lists the folder.
            return new FileListBox(container, FileListBox::Start::Empty);
        case ControlKind::PictureBox:
            return new PictureBoxWidget(container);
    }
    Q_UNREACHABLE();
}

void frmMain::Form_Load() {
    txtFilePattern_Change();
    setWindowTitle(tr("Quillmark v") + GetVersionString() +
                   tr(" - find and replace across the files of a folder"));
}

bool frmMain::OpenFolder(const QByteArray& folder) {
    const QByteArray path = DirListBox::CleanPath(
        folder.startsWith(kFolderSeparator) ? folder : AddBackslash(CurrentFolder()) + folder);
    QString error;
    if (!dirFolder->SetPath(path, error)) {
        MsgBox(tr("An error occurred trying to change the folder: ") + error, MsgBoxFlag::Critical);
        return false;
    }
    // dirFolder_Change has brought the file list along, or put the folder list back. The
    // drive list follows; a change of drive shows that drive's last folder, this one.
    drvFolder->SetDrive(dirFolder->Path());
    return dirFolder->Path() == path && filFolder->Path() == path;
}

QByteArray frmMain::FindText() const {
    if (!findText_) {
        findText_ = BoxText(txtFind).toUtf8();
    }
    return *findText_;
}

QByteArray frmMain::ReplaceText() const {
    if (!replaceText_) {
        replaceText_ = BoxText(txtReplace).toUtf8();
    }
    return *replaceText_;
}

int frmMain::MsgBox(const QString& prompt, int flags, const QString& title) {
    // Once the window is closing no dialog is shown: nothing would answer it.
    if (closing_) {
        return 0;
    }
    return services_.messages->MsgBox(prompt, flags, title);
}

void frmMain::SetRunLocked(bool locked) {
    for (QWidget* control : std::initializer_list<QWidget*>{cmdProcess, drvFolder, dirFolder,
                                                            txtFilePattern, txtFind, txtReplace}) {
        control->setEnabled(!locked);
    }
    picProgress->setVisible(locked);
    filFolder->HoldChanges(locked);
    if (!locked) {
        filFolder->SetVisible(true);
    }
}

// The window locked for a command, from Lock until Unlock or the end of the scope.
class frmMain::RunLock {
public:
    explicit RunLock(frmMain& window) : window_(window) {}
    ~RunLock() { Unlock(); }
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    void Lock() {
        window_.SetRunLocked(true);
        locked_ = true;
    }
    void Unlock() {
        if (locked_) {
            locked_ = false;
            window_.SetRunLocked(false);
        }
    }

private:
    frmMain& window_;
    bool locked_ = false;
};

void frmMain::cmdProcess_Click() {
    // A click that arrives while a command is in progress (the second of a double click)
    // starts nothing: one click, one run.
    if (commandInProgress_) {
        return;
    }
    const QScopedValueRollback inProgress(commandInProgress_, true);
    // Whatever ends the command, the window comes back whole: controls enabled, progress box
    // hidden, file list shown.
    RunLock lock(*this);
    try {
        if (BoxText(txtFind).isEmpty()) {
            MsgBox(tr("Please enter text to search for!"), MsgBoxFlag::Exclamation);
            return;
        }
        if (CheckValue(chkFind) == 0) {
            const QString confirm =
                tr("Are you sure you wish to perform this text replace? Please remember that "
                   "it is NOT REVERSABLE. If you screw up some important files it's tough "
                   "luck!") +
                QStringLiteral("\r\n\r\n") + tr("Are you sure?");
            const int answer = MsgBox(
                confirm, MsgBoxFlag::YesNo | MsgBoxFlag::Exclamation | MsgBoxFlag::DefaultButton2,
                tr("Are you sure?"));
            if (answer != MsgBoxResult::Yes) {
                return;
            }
        }

        services_.pump->DoEvents();
        if (closing_) {
            return;
        }
        lock.Lock();

        const qint16 caseSensitive = CheckValue(chkCaseSensitive);
        const qint16 selectedOnly = CheckValue(chkSelected);
        const qint16 findOnly = CheckValue(chkFind);
        // The run reads and saves in the folder the list shows, whatever its path leads to now;
        // an undo of it goes back there.
        undoFolder_ = filFolder->Folder();
        services_.files->HoldFolder(undoFolder_);
        RunEnvironment environment{*this, *services_.files, picProgress, services_.pump, &closing_};
        environment.undo = &undo_;
        environment.legacy = legacy_;
        try {
            ProcessFileList(environment, *filFolder, caseSensitive, selectedOnly, findOnly,
                            results_);
        } catch (const std::bad_alloc&) {
            // The run ended as a stop would, the file in hand named for it: the summary tells
            // what was done before it.
        }
        if (closing_) {
            return;
        }

        if (results_.FilesAffected > 0) {
            const int answer =
                MsgBox(tr("Do you want to highlight files found in the file list?"),
                       MsgBoxFlag::YesNo | MsgBoxFlag::Question | MsgBoxFlag::DefaultButton2,
                       tr("Highlight?"));
            if (answer == MsgBoxResult::Yes) {
                // The closed box must not stay painted on the window while the list works.
                repaint();
                HighlightFoundFiles(*filFolder, results_);
            }
        }

        lock.Unlock();
        const int buttons = undo_.IsEmpty() ? MsgBoxFlag::OKOnly : MsgBoxFlag::OKUndo;
        if (MsgBox(BuildSummary(CheckValue(chkFind) != 0, results_),
                   buttons | MsgBoxFlag::Information) == MsgBoxResult::Undo) {
            UndoLastReplaceCommand();
        }
    } catch (const std::exception&) {
        lock.Unlock();
        MsgBox(tr("An error occurred trying to process the files."), MsgBoxFlag::Critical);
    }
}

void frmMain::UndoRequested() {
    // In a text box Ctrl+Z undoes typing; the box takes the key before this shortcut sees it.
    if (!CanUndo() || txtFind->hasFocus() || txtReplace->hasFocus()) {
        return;
    }
    const QString question =
        tr("Put back the %n files the last replace altered?", nullptr, undo_.Count());
    if (MsgBox(question, MsgBoxFlag::YesNo | MsgBoxFlag::Question | MsgBoxFlag::DefaultButton2) ==
        MsgBoxResult::Yes) {
        UndoLastReplaceCommand();
    }
}

void frmMain::UndoLastReplaceCommand() {
    if (undo_.IsEmpty() || closing_) {
        return;
    }
    const QScopedValueRollback inProgress(commandInProgress_, true);
    RunLock lock(*this);
    try {
        services_.pump->DoEvents();
        if (closing_) {
            return;
        }
        lock.Lock();
        services_.files->HoldFolder(undoFolder_);
        RunEnvironment environment{*this, *services_.files, picProgress, services_.pump, &closing_};
        UndoLastReplace(environment, *filFolder, undo_, results_);
        if (closing_) {
            return;
        }
        lock.Unlock();
        MsgBox(BuildUndoSummary(results_), MsgBoxFlag::Information);
    } catch (const std::exception&) {
        lock.Unlock();
        undo_.Clear();
        MsgBox(tr("An error occurred trying to process the files."), MsgBoxFlag::Critical);
    }
}

void frmMain::filFolder_ContextMenu(const QPoint& at) {
    QMenu menu(this);
    QAction* undo = menu.addAction(tr("Undo last replace"));
    undo->setEnabled(CanUndo());
    if (menu.exec(filFolder->viewport()->mapToGlobal(at)) == undo) {
        UndoRequested();
    }
}

void frmMain::drvFolder_Change() {
    QString error;
    if (dirFolder->SetPath(drvFolder->Drive(), error)) {
        return;
    }
    MsgBox(tr("An error occurred trying to change the drive: ") + error, MsgBoxFlag::Critical);
    // The folder list still shows the last folder that worked. Selecting its drive raises
    // Change when that is not the drive just picked, and the nested run brings the folder and
    // file lists along; when it is the same drive nothing is raised, so the chain ends.
    drvFolder->SetDrive(dirFolder->Path());
}

void frmMain::dirFolder_Change() {
    QString error;
    if (filFolder->SetPath(dirFolder->Path(), error)) {
        return;
    }
    MsgBox(tr("An error occurred trying to change the folder: ") + error, MsgBoxFlag::Critical);
    // Back to the folder the file list still shows. The nested run this raises writes that
    // same folder to the file list; should it fail, its own restore changes no path and raises
    // nothing, so the chain ends. When this restore fails too (that folder has gone as well)
    // the lists stay as they stand.
    if (!dirFolder->SetPath(filFolder->Path(), error)) {
        MsgBox(tr("An error occurred trying to change the folder: ") + error, MsgBoxFlag::Critical);
    }
}

void frmMain::dirFolder_OpenFailed(const QString& description) {
    MsgBox(tr("An error occurred trying to change the folder: ") + description,
           MsgBoxFlag::Critical);
}

void frmMain::txtFilePattern_Change() {
    // A filter the file list rejects leaves the list as it was; the box shows why.
    QString error;
    const bool taken = filFolder->SetPattern(txtFilePattern->text(), error);
    ShowRefusedText(*txtFilePattern,
                    taken ? QString()
                          : error + QLatin1Char('\n') +
                                tr("The list keeps the filter \"%1\".").arg(filFolder->Pattern()));
}

void frmMain::filFolder_FolderChanged() {
    QString error;
    dirFolder->SetPath(dirFolder->Path(), error);
}

void frmMain::filFolder_FolderGone(const QString& description) {
    MsgBox(tr("An error occurred trying to change the folder: ") + description,
           MsgBoxFlag::Critical);
    // As for any folder that has gone: the nearest folder above that is still there.
    QByteArray folder = filFolder->Path();
    QString error;
    do {
        folder = DirListBox::CleanPath(folder + "/..");
    } while (!dirFolder->SetPath(folder, error) && folder != "/");
    drvFolder->SetDrive(dirFolder->Path());
}

void frmMain::cmdClear_Click() {
    // Enabled during a run, which reads both texts again for every file: the files after
    // this click are processed with empty texts and so stay as they are.
    txtFind->clear();
    txtReplace->clear();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == cmdProcess || watched == cmdClear)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // A held key repeats; one press, one click.
            if (!key->isAutoRepeat()) {
                static_cast<QAbstractButton*>(watched)->click();
            }
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (commandInProgress_) {
        closing_ = true;
    }
    event->accept();
}
