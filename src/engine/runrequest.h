// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <memory>

class LegacyEncoding;

// What a run is asked to do, taken once when it starts: the texts as UTF-8 bytes and the
// options. Only the texts may change while the run works, and only through ChangeTexts.
struct RunRequest {
    QByteArray findText;
    QByteArray replaceText;
    bool caseSensitive = false;
    // Only the entries the user has selected; otherwise every entry.
    bool selectedOnly = false;
    // Report the files that hold the search text and write nothing.
    bool findOnly = false;
    // The encoding of the files that are neither UTF-8 nor UTF-16; null: Windows-1252.
    std::shared_ptr<const LegacyEncoding> legacy;

    // Gives a run in progress new texts (Clear empties them): the files it processes after
    // the call are processed with these.
    void ChangeTexts(QByteArray find, QByteArray replacement) {
        findText = std::move(find);
        replaceText = std::move(replacement);
        ++textsChanged;
    }
    // How many times ChangeTexts was called: a run builds its search again when this moves.
    quint32 textsChanged = 0;
};
