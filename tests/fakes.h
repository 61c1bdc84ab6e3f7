#pragma once

// Scripted stand-ins for the platform interfaces, recording what they were asked.

#include "eventpump.h"
#include "fakepicturebox.h"
#include "filelist.h"
#include "textsource.h"

#include <QByteArrayList>
#include <QList>

#include <functional>

// A file list over given names in a given folder.
class FakeFileList : public FileList {
public:
    FakeFileList(QByteArray path, QByteArrayList names)
        : path_(std::move(path)), names_(std::move(names)), selected_(names_.size(), false) {}

    QByteArray Path() const override { return path_; }
    int ListCount() const override {
        ++listCountReads;
        return int(names_.size());
    }
    QByteArray List(int i) const override {
        return i >= 0 && i < names_.size() ? names_[i] : QByteArray();
    }
    bool Selected(int i) const override { return i >= 0 && i < selected_.size() && selected_[i]; }
    void SetSelected(int i, bool on) override {
        if (i >= 0 && i < selected_.size()) {
            selected_[i] = on;
        }
    }
    void SelectEntries(const QList<int>& indices) override {
        selectEntriesCalls.append(indices);
        FileList::SelectEntries(indices);
    }
    void SetListIndex(int i) override { listIndexes.append(i); }
    void SetVisible(bool visible) override { visibility.append(visible); }
    void Refresh() override {
        ++refreshes;
        if (onRefresh) {
            onRefresh(names_);
            selected_.resize(names_.size());
        }
    }

    QList<int> SelectedIndexes() const {
        QList<int> indexes;
        for (int i = 0; i < selected_.size(); ++i) {
            if (selected_[i]) {
                indexes.append(i);
            }
        }
        return indexes;
    }

    mutable int listCountReads = 0;
    QList<QList<int>> selectEntriesCalls;
    QList<int> listIndexes;
    QList<bool> visibility;
    int refreshes = 0;
    // Lets a test change the entries when the list reads its folder again.
    std::function<void(QByteArrayList&)> onRefresh;

private:
    QByteArray path_;
    QByteArrayList names_;
    QList<bool> selected_;
};

// Search and replacement texts that a test can change in the middle of a run.
class FakeTexts : public TextSource {
public:
    FakeTexts(QByteArray findText, QByteArray replacementText)
        : find(std::move(findText)), replacement(std::move(replacementText)) {}

    QByteArray FindText() const override {
        ++reads;
        return find;
    }
    QByteArray ReplaceText() const override { return replacement; }

    QByteArray find;
    QByteArray replacement;
    mutable int reads = 0;
};

// Counts yields and runs a test's action at each one.
class FakePump : public EventPump {
public:
    void DoEvents() override {
        ++calls;
        if (onEvents) {
            onEvents(calls);
        }
    }

    int calls = 0;
    std::function<void(int call)> onEvents;
};
