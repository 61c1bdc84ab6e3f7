// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmmain.h"

#include "batchrun.h"
#include "eventpump.h"
#include "filelistbox.h"
#include "foundfiles.h"
#include "layouttable.h"
#include "msgboxstyle.h"
#include "pictureboxwidget.h"
#include "runview.h"
#include "summary.h"
#include "undolastreplace.h"

#include <QCheckBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScopedValueRollback>

#include <exception>
#include <new>

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

}  // namespace

RunRequest frmMain::TakeRequest() const {
    RunRequest request;
    request.findText = FindText();
    request.replaceText = ReplaceText();
    // Case-sensitive and find-only are on when non-zero; selected-only only when exactly 1.
    request.caseSensitive = CheckValue(chkCaseSensitive) != 0;
    request.selectedOnly = CheckValue(chkSelected) == 1;
    request.findOnly = CheckValue(chkFind) != 0;
    request.legacy = legacy_;
    return request;
}

void frmMain::SetRunLocked(bool locked) {
    for (const ControlRow& row : kLayout) {
        if (row.options & ControlOption::LockedDuringRun) {
            Control(QString::fromLatin1(row.name.data(), qsizetype(row.name.size())))
                ->setEnabled(!locked);
        }
    }
    picProgress->setVisible(locked);
    filFolder->HoldChanges(locked);
    if (!locked) {
        filFolder->setVisible(true);
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
        if (FindText().isEmpty()) {
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

        {
            RunRequest request = TakeRequest();
            const QScopedValueRollback running(running_, &request);
            // The run reads and saves in the folder the list shows, whatever its path leads to
            // now; an undo of it goes back there.
            undoFolder_ = filFolder->Folder();
            services_.files->HoldFolder(undoFolder_);
            RunView view(RunView::Kind::ListRun, *filFolder, *picProgress, *services_.pump,
                         closing_);
            RunEnvironment environment{*services_.files, &view, &undo_};
            try {
                ProcessFileList(environment, *filFolder, request, results_);
            } catch (const std::bad_alloc&) {
                // The run ended as a stop would, the file in hand named for it: the summary
                // tells what was done before it.
            }
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
        // The wording follows the find-only box as it stands now, which the run did not lock.
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
        RunView view(RunView::Kind::Undo, *filFolder, *picProgress, *services_.pump, closing_);
        RunEnvironment environment{*services_.files, &view};
        UndoLastReplace(environment, undo_, results_);
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
