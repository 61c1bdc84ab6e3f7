// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QLineEdit;

// Marks box as holding a text that was refused: its base (QPalette::Base) turns towards red
// and its tooltip says why. An empty why gives the box back its own look and tooltip.
void ShowRefusedText(QLineEdit& box, const QString& why);
