// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmmain.h"

#include "accessiblenames.h"
#include "applicationrecord.h"
#include "currentfolder.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "layouttable.h"
#include "msgboxstyle.h"
#include "pathsyntax.h"
#include "posixfilestore.h"
#include "qteventpump.h"
#include "qtmessagebox.h"
#include "refusedtext.h"
#include "stopsignals.h"
#include "storagedrivesource.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSocketNotifier>
#include <QStyle>
#include <QStyleFactory>
#include <QTextDocument>
#include <QToolButton>

#include <unistd.h>

namespace {

// A text box's text with its line breaks as LF; unlike toPlainText, non-breaking spaces stay.
QString BoxText(const QPlainTextEdit* box) {
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
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

void frmMain::Form_Load() {
    // The folder list has read the folder it starts on; the file list shows its files, filtered
    // once: the filter comes before the names (bench row K, names painted at 1,000,000 files).
    // Should either fail, the filter reads the folder as it changes and says why.
    std::optional<FolderListing> listed = dirFolder->TakeListing();
    QString error;
    const bool filtered = listed && filFolder->TakePattern(txtFilePattern->text(), error);
    const bool shown = listed && filFolder->SetPath(dirFolder->Path(), error, std::move(listed));
    if (!filtered || !shown) {
        txtFilePattern_Change();
    }
    setWindowTitle(tr("Quillmark v") + GetVersionString() +
                   tr(" - find and replace across the files of a folder"));
}

bool frmMain::OpenFolder(const QByteArray& folder) {
    const QByteArray path = DirListBox::CleanPath(
        folder.startsWith(kFolderSeparator) ? folder : JoinPath(CurrentFolder(), folder));
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
    return BoxText(txtFind).toUtf8();
}

QByteArray frmMain::ReplaceText() const {
    return BoxText(txtReplace).toUtf8();
}

int frmMain::MsgBox(const QString& prompt, int flags, const QString& title) {
    // Once the window is closing no dialog is shown: nothing would answer it.
    if (closing_) {
        return 0;
    }
    return services_.messages->MsgBox(prompt, flags, title);
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
    if (filFolder->SetPath(dirFolder->Path(), error, dirFolder->TakeListing())) {
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
    txtFind->clear();
    txtReplace->clear();
    // Enabled during a run: the files after this click are processed with the empty texts and
    // so stay as they are.
    if (running_) {
        running_->ChangeTexts(QByteArray(), QByteArray());
    }
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
