#pragma once

#include <QByteArray>
#include <QList>

// The members of the window's file list that a run and the found-file walk use.
// Names are raw file-name bytes as they are on disk; they need not be valid UTF-8.
class FileList {
public:
    virtual ~FileList() = default;

    // The folder whose files the list shows, as a full path; never empty.
    virtual QByteArray Path() const = 0;
    // The number of entries.
    virtual int ListCount() const = 0;
    // The bare file name of entry i (0-based), without folder; empty when there is no entry i.
    virtual QByteArray List(int i) const = 0;
    // Whether the user has selected entry i; false when there is no entry i.
    virtual bool Selected(int i) const = 0;
    // Selects or deselects entry i; other entries keep their selection. No entry i: no effect.
    virtual void SetSelected(int i, bool selected) = 0;
    // Selects every entry whose index is in indices, as one change of the selection; other
    // entries keep their selection, and an index with no entry is skipped. The default selects
    // them one at a time.
    virtual void SelectEntries(const QList<int>& indices) {
        for (const int i : indices) {
            SetSelected(i, true);
        }
    }
    // Moves the current entry (the focus mark) to i without changing any selection; a shown
    // list scrolls it into view.
    virtual void SetListIndex(int i) = 0;
    // Shows or hides the list.
    virtual void SetVisible(bool visible) = 0;
    // Reads the folder again with the current pattern.
    virtual void Refresh() = 0;
};
