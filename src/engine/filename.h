// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// File names as the program shows, folds and orders them: the one rule behind the file list's
// order, the filter, the highlighting of found files and every name printed. A name is raw
// bytes read as UTF-8; a byte outside valid UTF-8 is a unit of its own.
namespace FileName {

// The name as a reader sees it: decoded as UTF-8, a byte outside valid UTF-8 shown as U+FFFD.
QString Display(QByteArrayView name);

// A key that two names share exactly when they are equal with case ignored, under the same
// folding as the case-insensitive search.
QByteArray FoldKey(QByteArrayView name);

// The order of the file list: case ignored, unit by unit, a shorter name before a longer one
// it starts; names equal with case ignored by their bytes. Negative, 0 or positive.
int Compare(QByteArrayView a, QByteArrayView b);

// Whether a comes before b in the order of Compare.
inline bool Less(QByteArrayView a, QByteArrayView b) {
    return Compare(a, b) < 0;
}

}  // namespace FileName
