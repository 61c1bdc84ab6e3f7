// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runresults.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

class FileList;

// reason in words, in the user's language; a name it carries is decoded as UTF-8.
QString ReasonText(const LeftReason& reason);
// The same as UTF-8 bytes, with the name it carries as its raw bytes.
QByteArray ReasonBytes(const LeftReason& reason);

// CRLF, then each hit file's bare name followed by CRLF, in list order.
QString FoundList(const RunResults& results);

// The run's report: counts, then the found list, then any files left unchanged with reasons.
// findMode picks the "found" wording, else the "altered" wording.
QString BuildSummary(bool findMode, const RunResults& results);

// The report of an undo: the files restored of those the last replace altered, then any left
// unchanged with reasons.
QString BuildUndoSummary(const RunResults& results);

// The entries of fileList that hold the hit files of results, in the order of the hits; a
// name no longer listed is skipped. The found-file walk selects them.
QList<int> FoundEntries(const FileList& fileList, const RunResults& results);

// The index of the entry equal to name: an exact entry wins; else the last entry equal to
// name when case is ignored; else -1.
int FindListIndex(const FileList& list, const QByteArray& name);
