// SPDX-License-Identifier: GPL-3.0-or-later
#include "summary.h"

#include "filelist.h"
#include "filename.h"

#include <QCoreApplication>
#include <QHash>

#include <optional>

namespace {

// Looks names up among a list's entries: an exact entry wins, else the last entry equal to
// the name with case ignored. The list must not change while the lookup is in use.
class ListIndexLookup {
public:
    explicit ListIndexLookup(const FileList& list) : list_(list) {
        const int count = list.ListCount();
        exact_.reserve(count);
        for (int i = 0; i < count; ++i) {
            exact_.insert(list.List(i), i);
        }
    }

    int IndexOf(const QByteArray& name) {
        if (const auto hit = exact_.constFind(name); hit != exact_.cend()) {
            return *hit;
        }
        // Folding every entry waits for the first name without an exact entry, which a run's
        // own hits never are (bench row H: the lookup of 100,000 hits among 110,000 entries
        // went from 0.30 s to 0.07 s).
        if (!folded_) {
            folded_.emplace();
            const int count = list_.ListCount();
            folded_->reserve(count);
            for (int i = 0; i < count; ++i) {
                folded_->insert(FileName::FoldKey(list_.List(i)), i);
            }
        }
        return folded_->value(FileName::FoldKey(name), -1);
    }

private:
    const FileList& list_;
    QHash<QByteArray, int> exact_;
    std::optional<QHash<QByteArray, int>> folded_;
};

// The files left unchanged with their reasons, after a blank line; nothing when there are none.
QString LeftUnchangedSection(const RunResults& results) {
    if (results.leftUnchanged.isEmpty()) {
        return QString();
    }
    QString text = QStringLiteral("\r\n") +
                   QCoreApplication::translate("Summary", "Left unchanged:") +
                   QStringLiteral("\r\n");
    for (const LeftUnchanged& file : results.leftUnchanged) {
        text += FileName::Display(file.name) + QStringLiteral(" (") + ReasonText(file.reason) +
                QStringLiteral(")\r\n");
    }
    return text;
}

// reason in the user's language; where it carries a name, "%1" stands for it.
QString ReasonPattern(const LeftReason& reason) {
    switch (reason.kind) {
        case LeftReason::CouldNotBeRead:
            return QCoreApplication::translate("Reason", "could not be read");
        case LeftReason::CouldNotBeWritten:
            return QCoreApplication::translate("Reason", "could not be written");
        case LeftReason::ReadOnly:
            return QCoreApplication::translate("Reason", "read-only");
        case LeftReason::BinaryFile:
            return QCoreApplication::translate("Reason", "binary file");
        case LeftReason::ChangedByAnotherProgram:
            return QCoreApplication::translate("Reason", "changed by another program");
        case LeftReason::SeveralHardLinks:
            return QCoreApplication::translate("Reason", "has several hard links");
        case LeftReason::NotARegularFile:
            return QCoreApplication::translate("Reason", "not a regular file");
        case LeftReason::InUseByAnotherProgram:
            return QCoreApplication::translate("Reason", "in use by another program");
        case LeftReason::ChangedSinceTheReplace:
            return QCoreApplication::translate("Reason", "changed since the replace");
        case LeftReason::LinkOfAnotherUser:
            return QCoreApplication::translate("Reason", "link owned by another user");
        case LeftReason::NoLongerThere:
            return QCoreApplication::translate("Reason", "no longer there");
        case LeftReason::NotEnoughMemory:
            return QCoreApplication::translate("Reason", "not enough memory");
        case LeftReason::InternalError:
            return QCoreApplication::translate("Reason", "internal error");
        case LeftReason::SameFileAs:
            return QCoreApplication::translate("Reason", "same file as %1");
        case LeftReason::CannotBeWrittenIn:
            return QCoreApplication::translate("Reason", "the replacement cannot be written in %1");
    }
    Q_UNREACHABLE();
}

bool CarriesName(const LeftReason& reason) {
    return reason.kind == LeftReason::SameFileAs || reason.kind == LeftReason::CannotBeWrittenIn;
}

}  // namespace

QString ReasonText(const LeftReason& reason) {
    const QString pattern = ReasonPattern(reason);
    if (reason.kind == LeftReason::SameFileAs) {
        return pattern.arg(FileName::Display(reason.other));
    }
    return CarriesName(reason) ? pattern.arg(QString::fromUtf8(reason.other)) : pattern;
}

QByteArray ReasonBytes(const LeftReason& reason) {
    const QString pattern = ReasonPattern(reason);
    const qsizetype at = CarriesName(reason) ? pattern.indexOf(QLatin1String("%1")) : -1;
    if (at < 0) {
        return pattern.toUtf8();
    }
    return pattern.left(at).toUtf8() + reason.other + pattern.mid(at + 2).toUtf8();
}

QString FoundList(const RunResults& results) {
    QString text = QStringLiteral("\r\n");
    for (const QByteArray& name : results.foundNames) {
        text += FileName::Display(name) + QStringLiteral("\r\n");
    }
    return text;
}

QString BuildSummary(bool findMode, const RunResults& results) {
    QString text = findMode ? QCoreApplication::translate("Summary", "Text find complete!")
                            : QCoreApplication::translate("Summary", "Text replace complete!");
    text += QStringLiteral("\r\n\r\n") + QString::number(results.FilesAffected) +
            QCoreApplication::translate("Summary", " of ") +
            QString::number(results.FilesProcessed) +
            (findMode ? QCoreApplication::translate("Summary", " selected files were found:")
                      : QCoreApplication::translate("Summary", " selected files were altered:")) +
            FoundList(results);
    return text + LeftUnchangedSection(results);
}

QString BuildUndoSummary(const RunResults& results) {
    return QCoreApplication::translate("Summary", "Undo complete!") + QStringLiteral("\r\n\r\n") +
           QString::number(results.FilesAffected) + QCoreApplication::translate("Summary", " of ") +
           QString::number(results.FilesProcessed) +
           QCoreApplication::translate("Summary", " altered files were restored:") +
           FoundList(results) + LeftUnchangedSection(results);
}

QList<int> FoundEntries(const FileList& fileList, const RunResults& results) {
    ListIndexLookup lookup(fileList);
    QList<int> indices;
    indices.reserve(results.foundNames.size());
    for (const QByteArray& name : results.foundNames) {
        const int index = lookup.IndexOf(name);
        if (index >= 0) {
            indices.append(index);
        }
    }
    return indices;
}

int FindListIndex(const FileList& list, const QByteArray& name) {
    return ListIndexLookup(list).IndexOf(name);
}
