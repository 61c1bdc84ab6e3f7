#pragma once

#include "filestore.h"
#include "runresults.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class EventPump;
class FileList;
class FileStore;
class LegacyEncoding;
class PictureBox;
class TextSource;
class UndoRecord;

// The services a run reaches the window and the disk through. progressBox and pump may be
// null: then no bar is painted and no events are dispatched (a run without a window).
struct RunEnvironment {
    TextSource& texts;
    FileStore& files;
    PictureBox* progressBox = nullptr;
    EventPump* pump = nullptr;
    // When it points at true, the run ends after the file in hand.
    const bool* stop = nullptr;
    // When set, a run empties it and, in replace mode, notes there what it changes, so that
    // the files it altered can be put back.
    UndoRecord* undo = nullptr;
    // When set, told of each file the run names, in list order, as soon as what became of it
    // is known: a hit once it is found (find mode) or its save's rename is done (replace
    // mode), with an empty reason; a file left unchanged with its reason. The results get the
    // same entries.
    std::function<void(const QByteArray& name, const QString& reason)> report = nullptr;
    // The encoding of the files that are neither UTF-8 nor UTF-16; null: Windows-1252.
    std::shared_ptr<const LegacyEncoding> legacy = nullptr;
};

// The reason a file is left unchanged when its save ended in outcome.
const QString& ReasonFor(SaveOutcome outcome);

// Returns path with the platform's folder separator appended unless it already ends in one.
// path must not be empty.
QByteArray AddBackslash(const QByteArray& path);

// One run over the entries of fileList: reads each qualifying file, replaces the search text
// in memory and, unless findOnly, saves every file whose content changed. Resets results and
// fills them. caseSensitive and findOnly are on when non-zero; selectedOnly only when exactly 1.
// Hides fileList for the run. A step that fails is skipped and its file listed with its reason.
// An exception (an allocation failure, an error of the store or a list) ends the run as a stop
// does: the file in hand is listed with the reason "not enough memory" (or "internal error"),
// the saves are waited for and every file is reported as after a stop; the exception is then
// thrown on.
void ProcessFileList(RunEnvironment& env, FileList& fileList, const qint16& caseSensitive,
                     const qint16& selectedOnly, const qint16& findOnly, RunResults& results);
