#include "summary.h"

#include "filelist.h"
#include "replacer.h"

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
    QString text = QStringLiteral("\r\nLeft unchanged:\r\n");
    for (const LeftUnchanged& file : results.leftUnchanged) {
        text += QString::fromUtf8(file.name) + QStringLiteral(" (") + file.reason +
                QStringLiteral(")\r\n");
    }
    return text;
}

}  // namespace

QString BuildSummary(bool findMode, const RunResults& results) {
    QString text =
        findMode ? QStringLiteral("Text find complete!") : QStringLiteral("Text replace complete!");
    text += QStringLiteral("\r\n\r\n") + QString::number(results.FilesAffected) +
            QStringLiteral(" of ") + QString::number(results.FilesProcessed) +
            (findMode ? QStringLiteral(" selected files were found:")
                      : QStringLiteral(" selected files were altered:")) +
            results.FoundList;
    return text + LeftUnchangedSection(results);
}

QString BuildUndoSummary(const RunResults& results) {
    return QStringLiteral("Undo complete!\r\n\r\n") + QString::number(results.FilesAffected) +
           QStringLiteral(" of ") + QString::number(results.FilesProcessed) +
           QStringLiteral(" altered files were restored:") + results.FoundList +
           LeftUnchangedSection(results);
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
