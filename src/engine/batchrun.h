#pragma once

#include "runresults.h"

#include <QByteArray>
#include <QtGlobal>

class EventPump;
class FileList;
class FileStore;
class PictureBox;
class TextSource;

// The services a run reaches the window and the disk through. progressBox and pump may be
// null: then no bar is painted and no events are dispatched (a run without a window).
struct RunEnvironment {
    TextSource& texts;
    FileStore& files;
    PictureBox* progressBox = nullptr;
    EventPump* pump = nullptr;
    // When it points at true, the run ends after the file in hand.
    const bool* stop = nullptr;
};

// Returns path with the platform's folder separator appended unless it already ends in one.
// path must not be empty.
QByteArray AddBackslash(const QByteArray& path);

// One run over the entries of fileList: reads each qualifying file, replaces the search text
// in memory and, unless findOnly, saves every file whose content changed. Resets results and
// fills them. caseSensitive and findOnly are on when non-zero; selectedOnly only when exactly 1.
// Hides fileList for the run; never fails, a step that fails is skipped.
void ProcessFileList(RunEnvironment& env, FileList& fileList, const qint16& caseSensitive,
                     const qint16& selectedOnly, const qint16& findOnly, RunResults& results);
