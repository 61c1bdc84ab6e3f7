// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

// The values a message box returns: the button the user chose.
namespace MsgBoxResult {
inline constexpr int OK = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
inline constexpr int Undo = 8;
}  // namespace MsgBoxResult

// Flag values of a message box, added together: buttons + icon + default button.
namespace MsgBoxFlag {
inline constexpr int OKOnly = 0;
inline constexpr int OKCancel = 1;
inline constexpr int AbortRetryIgnore = 2;
inline constexpr int YesNoCancel = 3;
inline constexpr int YesNo = 4;
inline constexpr int RetryCancel = 5;
// OK, and Undo beside it: the summary of a replace that can be undone.
inline constexpr int OKUndo = 6;
inline constexpr int Critical = 16;
inline constexpr int Question = 32;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;
inline constexpr int DefaultButton2 = 256;
inline constexpr int DefaultButton3 = 512;
}  // namespace MsgBoxFlag

enum class MsgBoxIcon { None, Critical, Question, Exclamation, Information };

// What a flag value asks of a message box.
struct MsgBoxStyle {
    // The buttons from left to right, each as the MsgBoxResult it returns.
    QList<int> buttons;
    MsgBoxIcon icon = MsgBoxIcon::None;
    // Index into buttons of the button that Enter presses; always a valid index.
    int defaultButton = 0;

    // Decodes flags. Unknown button sets show OK alone; unknown icons show none; a default
    // button beyond the last one falls back to the first.
    static MsgBoxStyle FromFlags(int flags) {
        MsgBoxStyle style;
        switch (flags & 0x0F) {
            case MsgBoxFlag::OKCancel:
                style.buttons = {MsgBoxResult::OK, MsgBoxResult::Cancel};
                break;
            case MsgBoxFlag::AbortRetryIgnore:
                style.buttons = {MsgBoxResult::Abort, MsgBoxResult::Retry, MsgBoxResult::Ignore};
                break;
            case MsgBoxFlag::YesNoCancel:
                style.buttons = {MsgBoxResult::Yes, MsgBoxResult::No, MsgBoxResult::Cancel};
                break;
            case MsgBoxFlag::YesNo:
                style.buttons = {MsgBoxResult::Yes, MsgBoxResult::No};
                break;
            case MsgBoxFlag::RetryCancel:
                style.buttons = {MsgBoxResult::Retry, MsgBoxResult::Cancel};
                break;
            case MsgBoxFlag::OKUndo:
                style.buttons = {MsgBoxResult::OK, MsgBoxResult::Undo};
                break;
            default:
                style.buttons = {MsgBoxResult::OK};
                break;
        }
        switch (flags & 0x70) {
            case MsgBoxFlag::Critical:
                style.icon = MsgBoxIcon::Critical;
                break;
            case MsgBoxFlag::Question:
                style.icon = MsgBoxIcon::Question;
                break;
            case MsgBoxFlag::Exclamation:
                style.icon = MsgBoxIcon::Exclamation;
                break;
            case MsgBoxFlag::Information:
                style.icon = MsgBoxIcon::Information;
                break;
            default:
                break;
        }
        const int wanted = (flags & 0x300) >> 8;
        style.defaultButton = wanted < style.buttons.size() ? wanted : 0;
        return style;
    }

    // The button that closing the box without pressing one stands for: Cancel where there
    // is one, else No, else OK, else the only button, else none (-1: the box cannot be
    // dismissed).
    int EscapeResult() const {
        for (const int answer : {MsgBoxResult::Cancel, MsgBoxResult::No, MsgBoxResult::OK}) {
            if (buttons.contains(answer)) {
                return answer;
            }
        }
        return buttons.size() == 1 ? buttons.first() : -1;
    }
};
