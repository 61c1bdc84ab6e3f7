// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "filename.h"

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>

// The entries of the file list as a model: some of the names of a folder, picked by index, each
// decoded only when a view asks for it. A new pick costs four bytes an entry and no string
// (bench row K, one key in the filter at 1,000,000 files).
class FileNameModel : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // The names the entries are picked from.
    const QList<QByteArray>& All() const { return all_; }
    // The number of entries.
    int Count() const { return int(picked_.size()); }
    // The name of entry i; empty when there is none.
    QByteArray Name(int i) const {
        return i >= 0 && i < picked_.size() ? all_[picked_[i]] : QByteArray();
    }
    // Picks names from all by their indices in it, in one model reset. Returns the pick it
    // replaces, whose memory the next pick may take over.
    QList<int> Show(QList<QByteArray> all, QList<int> picked) {
        beginResetModel();
        all_ = std::move(all);
        std::swap(picked_, picked);
        endResetModel();
        return picked;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : Count();
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override {
        if (!index.isValid() || role != Qt::DisplayRole) {
            return {};
        }
        return FileName::Display(Name(index.row()));
    }

private:
    QList<QByteArray> all_;
    QList<int> picked_;
};
