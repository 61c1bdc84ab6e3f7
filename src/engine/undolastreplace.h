#pragma once

#include "batchrun.h"
#include "runresults.h"
#include "undorecord.h"

// Puts back every file of record, in order, as a run does its work: the file list hidden,
// the progress bar moved and events dispatched after each file, a stop honoured after the
// file in hand. A file goes back to the bytes it held before the replace only while it still
// holds exactly what the replace wrote, with the same stamp; else it is left alone and
// listed with its reason. Fills results (FilesAffected: the files restored; FilesProcessed:
// the files of the record; foundNames and FoundList: the names restored), empties record,
// and refreshes fileList before showing it again.
void UndoLastReplace(RunEnvironment& env, FileList& fileList, UndoRecord& record,
                     RunResults& results);
