// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filestore.h"
#include "runresults.h"

class FileList;
class RunObserver;
class UndoRecord;
struct RunRequest;

// What a run reaches the disk and its watcher through.
struct RunEnvironment {
    FileStore& files;
    // Told what the run does and asked whether to go on; null: nobody watches.
    RunObserver* observer = nullptr;
    // When set, a replace or find empties it and, in replace mode, notes there what it
    // changes, so that the files it altered can be put back.
    UndoRecord* undo = nullptr;
};

// The reason a file is left unchanged when its save ended in outcome.
LeftReason ReasonFor(SaveOutcome outcome);

// One run over the entries of fileList: reads each qualifying file, replaces the search text
// in memory and, unless request.findOnly, saves every file whose content changed. Resets
// results and fills them; the observer is told each file's outcome in list order, as soon as it
// is known. The texts are request's as it stands when each file is processed: a change made
// through ChangeTexts during the run holds for the files after it. A step that fails is
// skipped and its file listed with its reason. An exception (an allocation failure, an error
// of the store or a list) ends the run as a stop does: the file in hand is listed with the
// reason "not enough memory" (or "internal error"), the saves are waited for and every file is
// reported as after a stop; the exception is then thrown on.
void ProcessFileList(RunEnvironment& env, const FileList& fileList, const RunRequest& request,
                     RunResults& results);
