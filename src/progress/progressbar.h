// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

class PictureBox;

// Repaints progressBox from scratch: the whole box in the button face colour, then a dark
// blue bar over its full height ending 10 twips short of position / maximum of its width.
// Then tells the box position and maximum as they are. Keeps no state, draws no text, never
// fails: a step that fails is skipped. A null box draws nothing.
void DrawProgressBar(PictureBox* progressBox, const qint32& position, const qint32& maximum);
