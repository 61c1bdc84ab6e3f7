#pragma once

#include "filelist.h"
#include "filepattern.h"
#include "heldfolder.h"

#include <QByteArray>
#include <QListView>
#include <QString>
#include <QStringListModel>

#include <memory>
#include <optional>

// The file list: the names of the regular, not hidden files of one folder that pass a
// filter, sorted with case ignored, with extended multiple selection. Each entry keeps its
// name's raw bytes.
class FileListBox : public QListView, public FileList {
    Q_OBJECT

public:
    enum class Start {
        Listed,  // lists the current folder at once
        Empty    // lists nothing until a path or filter is set or Refresh is called
    };
    // Starts on the process's current folder with the filter "*" and no entry selected.
    explicit FileListBox(QWidget* parent = nullptr, Start start = Start::Listed);

    QByteArray Path() const override { return path_; }
    int ListCount() const override { return int(names_.size()); }
    QByteArray List(int i) const override;
    bool Selected(int i) const override;
    // Selects or deselects entry i; other entries keep their selection. No entry i: no effect.
    void SetSelected(int i, bool selected);
    // Selects every entry whose index is in indices, as one change of the selection; other
    // entries keep their selection, and an index with no entry is skipped. Runs of
    // neighbouring indices become one range each, all applied in one select call.
    void SelectEntries(const QList<int>& indices);
    // Moves the current entry (the focus mark) to i without changing any selection; a shown
    // list scrolls it into view. While the list is hidden the mark is only noted, and placed
    // when the list shows again: nobody sees it meanwhile, and a run that hides the list sets
    // it for every entry.
    void SetListIndex(int i);
    // Lists the folder again; a folder that can no longer be read lists nothing.
    void Refresh();

    // Lists the files of folder. When the folder cannot be read returns false with a
    // description in error; the folder and the entries stay as they were.
    bool SetPath(const QByteArray& folder, QString& error);
    // The filter text last accepted.
    QString Pattern() const { return patternText_; }
    // Lists again with the filter text. A text the filter rejects (see FilePattern) returns
    // false with a description in error and changes nothing.
    bool SetPattern(const QString& text, QString& error);
    // The folder the list shows, open since its path was set: a run reads and saves through
    // it. Null when no folder could be opened.
    const std::shared_ptr<const HeldFolder>& Folder() const { return held_; }
    // The entry index that holds the current-entry mark, or -1.
    int ListIndex() const { return pendingIndex_.value_or(currentIndex().row()); }

protected:
    void showEvent(QShowEvent* event) override;
    // Taking the focus scrolls the current entry into view, so the mark the keys move is seen.
    void focusInEvent(QFocusEvent* event) override;
    // The keys of any list; a movement key that cannot move the mark further (Home on the first
    // entry, Down on the last) still selects the entry it is on.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void PlaceListIndex(int i);
    // The folder held, opened by the path first when none is.
    const std::shared_ptr<const HeldFolder>& Held(QString& error);
    // Fills the list from a fresh reading of folder with filter; nothing selected. A null
    // folder fails and changes nothing.
    bool Fill(const std::shared_ptr<const HeldFolder>& folder, const FilePattern& filter,
              QString& error);

    QByteArray path_;
    std::shared_ptr<const HeldFolder> held_;
    QStringListModel shown_;  // what the entries show: each name decoded
    // The raw bytes of each entry's name, entry by entry.
    QList<QByteArray> names_;
    std::optional<int> pendingIndex_;  // the mark set while the list was hidden
    QString patternText_ = QStringLiteral("*");
    FilePattern pattern_;
};
