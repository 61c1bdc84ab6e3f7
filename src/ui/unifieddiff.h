// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class NewContent;

// One change to a file's bytes: [begin, end) of the old content becomes replacement.
struct Edit {
    qsizetype begin = 0;
    qsizetype end = 0;
    QByteArray replacement;
};

// The edits that turn old into content, in order and without overlap. A piece of content that
// is a view of old's own bytes, past the last one seen, is kept; every other piece is new.
QList<Edit> EditsOf(QByteArrayView old, const NewContent& content);

// The unified diff ("--- NAME", "+++ NAME", hunks with three lines of context) that takes old
// to old with edits applied, as "patch -p0" run in the file's folder applies it. Lines are
// split after each "\n" and kept as their bytes, "\r" included; a last line without one is
// followed by "\ No newline at end of file". A name holding a space, a quote, a backslash or
// a control character is written in double quotes, with C escapes. Empty when the edits
// change nothing.
QByteArray UnifiedDiff(const QByteArray& name, QByteArrayView old, const QList<Edit>& edits);
