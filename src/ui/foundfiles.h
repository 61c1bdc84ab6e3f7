// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runresults.h"

class FileListBox;

// The found-file walk: reads the list's folder again, selects every hit file of results that
// it still lists in one change of the selection, and moves the current-entry mark to the first
// of them. A name no longer listed is skipped. Selections already made stay.
void HighlightFoundFiles(FileListBox& list, const RunResults& results);
