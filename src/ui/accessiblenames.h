// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class frmMain;

// Names the window's controls for assistive technology by what each is for, where what the
// platform would read (a frame's caption, the value shown) does not say it; frames, labels, check
// boxes and buttons keep their captions. A label is not shown to it while a control covers it.
void SetAccessibleNames(const frmMain& window);
