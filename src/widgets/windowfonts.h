// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

// The three fonts of the main window: Tahoma 8.25 pt, Tahoma 8.25 pt bold and Tahoma 9.75 pt
// bold, as pixel sizes at 15 twips per pixel (11 and 13 px), so that text keeps its size
// relative to the controls, which are laid out in pixels.
struct WindowFonts {
    QFont window;
    QFont bold;
    QFont largeBold;

    // Tahoma where the system has it or it can be loaded from the Wine fonts; else Substitute.
    static WindowFonts Standard();
    // A close sans font in which every caption of the window still fits its control: DejaVu
    // Sans Condensed one pixel smaller, or DejaVu Sans two pixels smaller.
    static WindowFonts Substitute();
    // Whether Tahoma is available, loading it from the Wine fonts when the system lacks it.
    static bool LoadTahoma();
};
