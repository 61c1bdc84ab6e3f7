#include "summary.h"

#include "filelist.h"
#include "replacer.h"

#include <QCoreApplication>
#include <QHash>

namespace {

// Looks names up among a list's entries: an exact entry wins, else the last entry equal to
// the name with case ignored.
class ListIndexLookup {
public:
    explicit ListIndexLookup(const FileList& list) {
        const int count = list.ListCount();
        for (int i = 0; i < count; ++i) {
            const QByteArray entry = list.List(i);
            exact_.insert(entry, i);
            folded_.insert(CaseFoldKey(entry), i);
        }
    }

    int IndexOf(const QByteArray& name) const {
        if (const auto hit = exact_.constFind(name); hit != exact_.cend()) {
            return *hit;
        }
        return folded_.value(CaseFoldKey(name), -1);
    }

private:
    QHash<QByteArray, int> exact_;
    QHash<QByteArray, int> folded_;
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
        text += QString::fromUtf8(file.name) + QStringLiteral(" (") + ReasonText(file.reason) +
                QStringLiteral(")\r\n");
    }
    return text;
}

}  // namespace

QString ReasonText(const QString& reason) {
    if (reason.startsWith(Reason::SameFileAsPrefix)) {
        return QCoreApplication::translate("Reason", "same file as %1")
            .arg(reason.mid(Reason::SameFileAsPrefix.size()));
    }
    return QCoreApplication::translate("Reason", reason.toUtf8().constData());
}

QString BuildSummary(bool findMode, const RunResults& results) {
    QString text = findMode ? QCoreApplication::translate("Summary", "Text find complete!")
                            : QCoreApplication::translate("Summary", "Text replace complete!");
    text += QStringLiteral("\r\n\r\n") + QString::number(results.FilesAffected) +
            QCoreApplication::translate("Summary", " of ") +
            QString::number(results.FilesProcessed) +
            (findMode ? QCoreApplication::translate("Summary", " selected files were found:")
                      : QCoreApplication::translate("Summary", " selected files were altered:")) +
            results.FoundList;
    return text + LeftUnchangedSection(results);
}

QString BuildUndoSummary(const RunResults& results) {
    return QCoreApplication::translate("Summary", "Undo complete!") + QStringLiteral("\r\n\r\n") +
           QString::number(results.FilesAffected) + QCoreApplication::translate("Summary", " of ") +
           QString::number(results.FilesProcessed) +
           QCoreApplication::translate("Summary", " altered files were restored:") +
           results.FoundList + LeftUnchangedSection(results);
}

void HighlightFoundFiles(FileList& fileList, const RunResults& results) {
    fileList.Refresh();
    const ListIndexLookup lookup(fileList);
    for (const QByteArray& name : results.foundNames) {
        const int index = lookup.IndexOf(name);
        if (index >= 0) {
            fileList.SetSelected(index, true);
        }
    }
}

int FindListIndex(const FileList& list, const QByteArray& name) {
    return ListIndexLookup(list).IndexOf(name);
}
