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

}  // namespace

QString ReasonText(const QString& reason) {
    if (reason.startsWith(Reason::SameFileAsPrefix)) {
        return QCoreApplication::translate("Reason", "same file as %1")
            .arg(reason.mid(Reason::SameFileAsPrefix.size()));
    }
    return QCoreApplication::translate("Reason", reason.toUtf8().constData());
}

QString BuildSummary(bool findMode, const RunResults& results) {
    const auto tr = [](const char* text) { return QCoreApplication::translate("Summary", text); };
    QString text = findMode ? tr("Text find complete!") : tr("Text replace complete!");
    text += QStringLiteral("\r\n\r\n") + QString::number(results.FilesAffected) + tr(" of ") +
            QString::number(results.FilesProcessed) +
            (findMode ? tr(" selected files were found:") : tr(" selected files were altered:")) +
            results.FoundList;
    if (!results.leftUnchanged.isEmpty()) {
        text += QStringLiteral("\r\n") + tr("Left unchanged:") + QStringLiteral("\r\n");
        for (const LeftUnchanged& file : results.leftUnchanged) {
            text += QString::fromUtf8(file.name) + QStringLiteral(" (") + ReasonText(file.reason) +
                    QStringLiteral(")\r\n");
        }
    }
    return text;
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
