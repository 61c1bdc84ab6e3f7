#pragma once

#include "runresults.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

class FileList;

// reason, one of the Reason texts, in the user's language.
QString ReasonText(const QString& reason);

// The run's report: counts, then the found list, then any files left unchanged with reasons.
// findMode picks the "found" wording, else the "altered" wording.
QString BuildSummary(bool findMode, const RunResults& results);

// The report of an undo: the files restored of those the last replace altered, then any left
// unchanged with reasons.
QString BuildUndoSummary(const RunResults& results);

// Refreshes fileList, selects every hit file of results that it still lists in one change of
// the selection, and moves the current-entry mark to the first of them. A name no longer
// listed is skipped. Selections already made stay.
void HighlightFoundFiles(FileList& fileList, const RunResults& results);

// The index of the entry equal to name: an exact entry wins; else the last entry equal to
// name when case is ignored; else -1.
int FindListIndex(const FileList& list, const QByteArray& name);
