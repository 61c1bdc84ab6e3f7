// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>

class LegacyEncoding;
class Replacer;

// The lines of content on which an occurrence of replacer's search text starts, each once,
// as "NAME:LINE:TEXT" and a line break (with nulEnded, a NUL in place of the first ":"). LINE
// counts from 1, line breaks as the search counts them ("\n" or "\r\n"; in UTF-16, 000A or
// 000D 000A). TEXT is the line without its line break, as UTF-8 read in the file's encoding
// (legacy: in legacy); a byte that is not part of a character of it, or a NUL, is written
// "\xNN", and a byte-order mark is left out. Empty when the text does not occur.
QByteArray ListLines(const Replacer& replacer, QByteArrayView content, const QByteArray& name,
                     bool nulEnded, const LegacyEncoding& legacy);
