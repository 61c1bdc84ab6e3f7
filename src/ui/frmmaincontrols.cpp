// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmmain.h"

#include "applicationrecord.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "layouttable.h"
#include "pictureboxwidget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>

#include <algorithm>
#include <vector>

namespace {

QRect PixelGeometry(const ControlRow& row) {
    return {TwipsToPixels(row.left), TwipsToPixels(row.top), TwipsToPixels(row.width),
            TwipsToPixels(row.height)};
}

}  // namespace

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
