// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "messagebox.h"
#include "msgboxstyle.h"

#include <QList>
#include <QString>

#include <functional>

// A message box that records every call and answers from a script instead of asking.
class ScriptedMessageBox : public MessageBox {
public:
    struct Call {
        QString prompt;
        int flags;
        QString title;
    };

    // Answers queued here are given in order; with none left, a box answers with what answerFor
    // gives, or without it with its first button (OK, or Yes).
    QList<int> answers;
    std::function<int(const Call&)> answerFor;
    // Runs while a box "is open", before it answers; it sees the calls so far, this one last.
    std::function<void(const Call&)> onShow;
    QList<Call> calls;

    int MsgBox(const QString& prompt, int flags, const QString& title) override {
        calls.append({prompt, flags, title});
        if (onShow) {
            onShow(calls.last());
        }
        if (!answers.isEmpty()) {
            return answers.takeFirst();
        }
        if (answerFor) {
            return answerFor(calls.last());
        }
        return MsgBoxStyle::FromFlags(flags).buttons.first();
    }

    // The flag values of the calls, in order.
    QList<int> Flags() const {
        QList<int> flags;
        for (const Call& call : calls) {
            flags.append(call.flags);
        }
        return flags;
    }
};
