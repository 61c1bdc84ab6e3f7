// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A modal message box. The window shows every message through one of these, so that tests can
// answer with a scripted double.
class MessageBox {
public:
    virtual ~MessageBox() = default;

    // Shows prompt with the buttons, icon and default button that flags name (see MsgBoxStyle)
    // and waits until the user closes it. An empty title shows the application's title. Lines of
    // prompt may end in CRLF or LF. Returns the chosen button as a MsgBoxResult value.
    virtual int MsgBox(const QString& prompt, int flags, const QString& title) = 0;
};
