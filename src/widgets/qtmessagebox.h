// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "messagebox.h"

class QWidget;

// The real message box: a modal dialog with the icon beside the prompt and the buttons in a
// row beneath. Each button answers to its access letter, with or without Alt. The box takes
// its parent's font and wraps the prompt so as to grow no wider than its parent. The prompt
// can be selected and copied; a prompt too long for the screen scrolls inside a dialog that
// stays within the screen.
class QtMessageBox : public MessageBox {
public:
    // parent: the window the box is modal to and centred over; may be null.
    explicit QtMessageBox(QWidget* parent = nullptr);

    int MsgBox(const QString& prompt, int flags, const QString& title) override;

    // The prompt as the box shows it: CRLF and lone CR become line feeds.
    static QString DisplayText(const QString& prompt);

private:
    QWidget* parent_;
};
