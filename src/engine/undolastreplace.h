// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "batchrun.h"
#include "runresults.h"
#include "undorecord.h"

// Puts back every file of record, in order, as a run does its work: the observer is told of
// each file as a run tells it, and a stop it asks for is honoured after the file in hand. A
// file goes back to the bytes it held before the replace only while it still holds exactly
// what the replace wrote, with the same stamp; else it is left alone and listed with its
// reason. Fills results (FilesAffected: the files restored; FilesProcessed: the files of the
// record; foundNames: the names restored) and empties record. An exception ends it as it ends
// a replace, and is thrown on.
void UndoLastReplace(RunEnvironment& env, UndoRecord& record, RunResults& results);
