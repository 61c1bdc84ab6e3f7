// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Scripted stand-ins for the platform interfaces, recording what they were asked.

#include "filelist.h"
#include "runobserver.h"
#include "runrequest.h"
#include "summary.h"

#include <QByteArrayList>
#include <QList>

#include <functional>

// A request for a replace (or, with findOnly set, a find) of find by replacement, case ignored.
inline RunRequest Texts(const QByteArray& find, const QByteArray& replacement) {
    RunRequest request;
    request.findText = find;
    request.replaceText = replacement;
    return request;
}

// A file list over given names in a given folder.
class FakeFileList : public FileList {
public:
    FakeFileList(QByteArray path, QByteArrayList names)
        : path_(std::move(path)), names_(std::move(names)), selected_(names_.size(), false) {}

    QByteArray Path() const override { return path_; }
    int ListCount() const override { return int(names_.size()); }
    QByteArray List(int i) const override {
        return i >= 0 && i < names_.size() ? names_[i] : QByteArray();
    }
    bool Selected(int i) const override { return i >= 0 && i < selected_.size() && selected_[i]; }
    void SetSelected(int i, bool on) {
        if (i >= 0 && i < selected_.size()) {
            selected_[i] = on;
        }
    }

private:
    QByteArray path_;
    QByteArrayList names_;
    QList<bool> selected_;
};

// Records what a run tells it as a transcript, one line a call ("begin 3", "reached 0",
// "processed 0 of 3", "found a.txt", "left b.txt (read-only)", "end"), and runs a test's
// action where the window lets events through; stops the run at the entry stopAt.
class RecordingObserver : public RunObserver {
public:
    void RunBegins(int entries) override {
        told.append("begin " + QByteArray::number(entries));
        Yield();
    }
    bool Reached(int entry) override {
        if (entry == stopAt) {
            return false;
        }
        told.append("reached " + QByteArray::number(entry));
        return true;
    }
    void Processed(int entry, int entries) override {
        told.append("processed " + QByteArray::number(entry) + " of " +
                    QByteArray::number(entries));
        Yield();
    }
    void Found(const QByteArray& name) override { told.append("found " + name); }
    void LeftUnchanged(const QByteArray& name, const LeftReason& reason) override {
        told.append("left " + name + " (" + ReasonBytes(reason) + ")");
    }
    void RunEnded() override { told.append("end"); }

    // The lines that start with prefix.
    QByteArrayList Told(const QByteArray& prefix) const {
        QByteArrayList lines;
        for (const QByteArray& line : told) {
            if (line.startsWith(prefix)) {
                lines.append(line);
            }
        }
        return lines;
    }

    QByteArrayList told;
    int stopAt = -1;
    // Called with 1 as the run begins, then with 2, 3, ... after each processed file.
    std::function<void(int call)> onYield;

private:
    void Yield() {
        ++yields_;
        if (onYield) {
            onYield(yields_);
        }
    }
    int yields_ = 0;
};
