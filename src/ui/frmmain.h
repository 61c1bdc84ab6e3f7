// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The names of the window's controls and handlers follow one scheme of form names, so that a
// behaviour can be found by its name. frmMain is the main window's class. A control is
// the member named by its kind and purpose (txtFind a text box, chkFind a check box,
// cmdProcess a button, filFolder the file list, dirFolder the folder list, drvFolder the drive
// list, picProgress the progress picture box, Frame1 a frame). A handler is the control's
// name, an underscore and its event: cmdProcess_Click runs when the Process button is pressed,
// dirFolder_Change when the folder list moves to another folder, Form_Load once as the window
// is made. The file list's members follow the same scheme: List(i) and ListCount are its
// entries, SetListIndex moves its current-entry mark (ListIndex), Selected(i) tells whether an
// entry is selected. MsgBox takes numeric flag values (MsgBoxFlag) and returns the button
// chosen (MsgBoxResult). The shared counts of a run (FilesAffected, FilesProcessed) keep their
// names in RunResults, and FoundList is the summary's. A check box's value (0 unchecked,
// 1 checked, 2 grayed; "selected only" when exactly 1) is read here only, and handed to a run
// as a typed option of its RunRequest. Everything else follows the usual Qt conventions.

#include "runrequest.h"
#include "runresults.h"
#include "undorecord.h"
#include "windowfonts.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QWidget>

#include <memory>

class DirListBox;
class DriveListBox;
class DriveSource;
class EventPump;
class FileListBox;
class FileStore;
class HeldFolder;
class LegacyEncoding;
class MessageBox;
class PictureBoxWidget;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStyle;
class QToolButton;
struct ControlRow;

// The main window: the controls of the layout table, the start-up, and the handlers of the
// Process command and of the folder, filter and Clear controls. Its parts live in files of
// their own: the controls built from the layout table (frmmaincontrols.cpp), and the Process
// command with the undo (frmmainprocess.cpp).
class frmMain : public QWidget {
    Q_OBJECT

public:
    // The services the window reaches the user, the disk and the event loop through. A null
    // member stands for the real one, which the window then creates and owns.
    struct Services {
        MessageBox* messages = nullptr;
        DriveSource* drives = nullptr;
        EventPump* pump = nullptr;
        FileStore* files = nullptr;
        // The fonts of the layout table's font column.
        WindowFonts fonts = WindowFonts::Standard();
    };

    // Creates the window with the real services, runs Form_Load, and places it centred on
    // the screen; it is not yet shown.
    explicit frmMain(QWidget* parent = nullptr);
    // The same with the services given.
    explicit frmMain(const Services& services, QWidget* parent = nullptr);
    ~frmMain() override;

    // txtFind's text as UTF-8, line breaks as LF.
    QByteArray FindText() const;
    // txtReplace's text as UTF-8, line breaks as LF.
    QByteArray ReplaceText() const;

    // Shows folder (absolute, or relative to the process's current folder) in the drive,
    // folder and file lists. A folder that cannot be opened is reported with the folder
    // message and the lists stay where they were. Returns whether the lists show folder.
    bool OpenFolder(const QByteArray& folder);
    // The encoding runs read files in that are neither UTF-8 nor UTF-16; null: Windows-1252.
    void SetLegacyEncoding(std::shared_ptr<const LegacyEncoding> legacy) {
        legacy_ = std::move(legacy);
    }

    // The control built from the layout row named name, or null.
    QWidget* Control(const QString& name) const { return controls_.value(name); }
    // The results of the last run.
    const RunResults& Results() const { return results_; }
    // Whether the last replace can be undone: it altered files and no run has started since.
    bool CanUndo() const { return !undo_.IsEmpty() && !commandInProgress_; }

protected:
    // Enter on a focused command button presses it, as Space does.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing during a command ends its run after the file in hand and shows no further
    // dialog; the program then ends as with any close.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    QWidget* CreateControl(const ControlRow& row, QWidget* container);
    void Form_Load();
    void cmdProcess_Click();
    void drvFolder_Change();
    void dirFolder_Change();
    // Opening a folder in the folder list failed: reported like a folder change that failed.
    void dirFolder_OpenFailed(const QString& description);
    void txtFilePattern_Change();
    // The file list followed its folder: the folder list follows too.
    void filFolder_FolderChanged();
    // The folder shown has gone: said as a failed folder change, then the nearest one above.
    void filFolder_FolderGone(const QString& description);
    void cmdClear_Click();
    // Ctrl+Z outside the text boxes and the file list's menu entry: asks, then undoes.
    void UndoRequested();
    // Puts back the files the last replace altered, as a run, and shows its summary.
    void UndoLastReplaceCommand();
    void filFolder_ContextMenu(const QPoint& at);
    // The request of a run as the controls stand now.
    RunRequest TakeRequest() const;
    // Disables or enables the controls a run must not see changed, and shows or hides the
    // progress box; unlocking shows the file list too, whatever ended the run.
    void SetRunLocked(bool locked);
    class RunLock;
    int MsgBox(const QString& prompt, int flags, const QString& title = QString());

    std::unique_ptr<MessageBox> ownMessages_;
    std::unique_ptr<DriveSource> ownDrives_;
    std::unique_ptr<EventPump> ownPump_;
    std::unique_ptr<FileStore> ownFiles_;
    Services services_;
    // The style the three frames are drawn in; null where the platform lacks it.
    std::unique_ptr<QStyle> frameStyle_;

    QHash<QString, QWidget*> controls_;
    QGroupBox* Frame1 = nullptr;
    DriveListBox* drvFolder = nullptr;
    DirListBox* dirFolder = nullptr;
    FileListBox* filFolder = nullptr;
    QLabel* lblProcessing = nullptr;
    PictureBoxWidget* picProgress = nullptr;
    QCheckBox* chkSelected = nullptr;
    QLabel* lblFileFilter = nullptr;
    QLineEdit* txtFilePattern = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label1 = nullptr;
    QPlainTextEdit* txtFind = nullptr;
    QLabel* Label2 = nullptr;
    QPlainTextEdit* txtReplace = nullptr;
    QCheckBox* chkCaseSensitive = nullptr;
    QPushButton* cmdClear = nullptr;
    QGroupBox* Frame3 = nullptr;
    QCheckBox* chkFind = nullptr;
    QToolButton* cmdProcess = nullptr;

    RunResults results_;
    UndoRecord undo_;
    std::shared_ptr<const HeldFolder> undoFolder_;  // the folder the last replace held
    std::shared_ptr<const LegacyEncoding> legacy_;
    // True from the start of a Process command to its end; a second click meanwhile is ignored.
    bool commandInProgress_ = false;
    // The request of the replace or find in progress, which Clear changes; null between runs.
    RunRequest* running_ = nullptr;
    // Set when the window is closed during a command; the run reads it after every file.
    bool closing_ = false;
};
