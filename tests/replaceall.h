// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The replacer's output made whole, as the tests and the fuzzer compare it; the program itself
// writes the pieces straight to the file.

#include "replacer.h"

#include <QByteArray>
#include <QByteArrayView>

#include <utility>

// Writes content with every occurrence replaced into out and returns true; returns false,
// leaving out untouched, when the search text does not occur. When the search text occurs and
// changed is given, it tells whether out differs from content. When a replacement cannot be
// written, out is left untouched, changed is cleared and unwritable, when given, set.
inline bool ReplaceAll(const Replacer& replacer, QByteArrayView content, QByteArray& out,
                       bool* changed = nullptr, bool* unwritable = nullptr) {
    const Replacer::Effect effect = replacer.EffectOn(content);
    if (unwritable) {
        *unwritable = effect == Replacer::Effect::Unwritable;
    }
    if (effect == Replacer::Effect::NoOccurrence) {
        return false;
    }
    if (effect == Replacer::Effect::Unwritable) {
        if (changed) {
            *changed = false;
        }
        return true;
    }
    QByteArray result;
    result.reserve(content.size());
    replacer.WritePieces(content, [&](QByteArrayView piece) {
        result.append(piece);
        return true;
    });
    out = std::move(result);
    if (changed) {
        *changed = effect == Replacer::Effect::Changed;
    }
    return true;
}
