// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filepattern.h"

#include <QtGlobal>

#include <array>
#include <string_view>

// The kinds of control the main window is made of.
enum class ControlKind {
    Frame,          // a captioned group box
    Label,          // static text, drawn beneath the other controls of its container
    TextBox,        // a text box; one line unless MultiLine
    CheckBox,       // a two-state check box
    CommandButton,  // a push button; the icon above the caption when Graphical
    DriveListBox,   // the drop-down list of drives
    DirListBox,     // the folder list
    FileListBox,    // the file list
    PictureBox,     // the surface the progress bar is painted into
};

// Which of the window's fonts a control uses.
enum class FontKind { Window, Bold, LargeBold };

// Start settings beyond the table's columns, added together.
namespace ControlOption {
inline constexpr unsigned None = 0;
inline constexpr unsigned MultiLine = 1;  // a text box with both scroll bars and no wrapping
inline constexpr unsigned Graphical = 2;  // a button with the application icon above its caption
inline constexpr unsigned Centred = 4;    // a label whose caption is centred in its width
inline constexpr unsigned Hidden = 8;     // starts hidden
// Disabled while a run works, so that the folder, the filter and the texts stay as the run
// took them, and no second run starts.
inline constexpr unsigned LockedDuringRun = 16;
}  // namespace ControlOption

// One control of the main window. Positions and sizes are in twips (1/1440 inch), measured
// from the top-left corner of the container (the window's client area, or a frame's outer
// corner); Width and Height are the outer size.
struct ControlRow {
    std::string_view name;
    ControlKind kind;
    std::string_view container;
    const char* caption;  // caption or start text, untranslated; "" for none
    int left;
    int top;
    int width;
    int height;
    int tabIndex;
    FontKind font;
    unsigned options;
};

// Twips in one logical pixel.
inline constexpr int kTwipsPerPixel = 15;
// The window's client area in twips.
inline constexpr int kClientWidth = 8565;
inline constexpr int kClientHeight = 7665;
// The container name that stands for the window itself.
inline constexpr std::string_view kWindowName = "frmMain";

// Converts twips to logical pixels; every value of the table is a whole number of pixels.
constexpr int TwipsToPixels(int twips) {
    return twips / kTwipsPerPixel;
}

// The nineteen controls of the main window, frame by frame, top to bottom. A container comes
// before the controls it holds.
inline constexpr std::array<ControlRow, 19> kLayout{{
    {"Frame1", ControlKind::Frame, "frmMain", QT_TRANSLATE_NOOP("frmMain", "Files to search:"), 135,
     135, 8295, 3075, 0, FontKind::Bold, ControlOption::None},
    {"drvFolder", ControlKind::DriveListBox, "Frame1", "", 180, 360, 4470, 315, 1, FontKind::Window,
     ControlOption::LockedDuringRun},
    {"dirFolder", ControlKind::DirListBox, "Frame1", "", 180, 675, 4470, 1890, 2, FontKind::Window,
     ControlOption::LockedDuringRun},
    {"filFolder", ControlKind::FileListBox, "Frame1", "", 4635, 360, 3390, 2235, 3,
     FontKind::Window, ControlOption::None},
    {"lblProcessing", ControlKind::Label, "Frame1",
     QT_TRANSLATE_NOOP("frmMain", "Processing. Please wait..."), 4815, 1125, 3165, 330, 13,
     FontKind::LargeBold, ControlOption::Centred},
    {"picProgress", ControlKind::PictureBox, "Frame1", "", 4770, 1620, 3255, 330, 16,
     FontKind::Window, ControlOption::Hidden},
    {"chkSelected", ControlKind::CheckBox, "Frame1",
     QT_TRANSLATE_NOOP("frmMain", "Process Selected Files Only"), 180, 2610, 2715, 330, 17,
     FontKind::Bold, ControlOption::None},
    {"lblFileFilter", ControlKind::Label, "Frame1", QT_TRANSLATE_NOOP("frmMain", "File Filter:"),
     3600, 2655, 1725, 240, 5, FontKind::Bold, ControlOption::None},
    {"txtFilePattern", ControlKind::TextBox, "Frame1", kDefaultFilter, 4680, 2655, 3345, 285, 4,
     FontKind::Window, ControlOption::LockedDuringRun},
    {"Frame2", ControlKind::Frame, "frmMain", QT_TRANSLATE_NOOP("frmMain", "Text:"), 135, 3330,
     8295, 3120, 6, FontKind::Bold, ControlOption::None},
    {"Label1", ControlKind::Label, "Frame2", QT_TRANSLATE_NOOP("frmMain", "Find:"), 315, 315, 3660,
     285, 9, FontKind::Bold, ControlOption::None},
    {"txtFind", ControlKind::TextBox, "Frame2", "", 270, 540, 3750, 2040, 7, FontKind::Window,
     ControlOption::MultiLine | ControlOption::LockedDuringRun},
    {"Label2", ControlKind::Label, "Frame2", QT_TRANSLATE_NOOP("frmMain", "Replace With:"), 4230,
     315, 3660, 285, 10, FontKind::Bold, ControlOption::None},
    {"txtReplace", ControlKind::TextBox, "Frame2", "", 4230, 540, 3750, 2040, 8, FontKind::Window,
     ControlOption::MultiLine | ControlOption::LockedDuringRun},
    {"chkCaseSensitive", ControlKind::CheckBox, "Frame2",
     QT_TRANSLATE_NOOP("frmMain", "Case Sensitive"), 270, 2700, 1950, 285, 14, FontKind::Bold,
     ControlOption::None},
    {"cmdClear", ControlKind::CommandButton, "Frame2",
     QT_TRANSLATE_NOOP("frmMain", "Clear all text"), 3330, 2655, 1635, 375, 15, FontKind::Window,
     ControlOption::None},
    {"Frame3", ControlKind::Frame, "frmMain", QT_TRANSLATE_NOOP("frmMain", "Process"), 135, 6570,
     8295, 960, 11, FontKind::Bold, ControlOption::None},
    {"chkFind", ControlKind::CheckBox, "Frame3",
     QT_TRANSLATE_NOOP("frmMain", "Find (not replace) only"), 225, 405, 2265, 285, 18,
     FontKind::Bold, ControlOption::None},
    {"cmdProcess", ControlKind::CommandButton, "Frame3", QT_TRANSLATE_NOOP("frmMain", "Process"),
     2925, 270, 2445, 510, 12, FontKind::Bold,
     ControlOption::Graphical | ControlOption::LockedDuringRun},
}};
