#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// A file that held the search text but was left as it was, and why.
struct LeftUnchanged {
    QByteArray name;  // the bare file name, raw bytes
    QString reason;   // one of the reason texts below
};

namespace Reason {
inline const QString CouldNotBeRead = QStringLiteral("could not be read");
inline const QString CouldNotBeWritten = QStringLiteral("could not be written");
inline const QString ReadOnly = QStringLiteral("read-only");
inline const QString BinaryFile = QStringLiteral("binary file");
inline const QString ChangedByAnotherProgram = QStringLiteral("changed by another program");
inline const QString SeveralHardLinks = QStringLiteral("has several hard links");
inline const QString NotARegularFile = QStringLiteral("not a regular file");
inline const QString InUseByAnotherProgram = QStringLiteral("in use by another program");
inline const QString ChangedSinceTheReplace = QStringLiteral("changed since the replace");
inline const QString NoLongerThere = QStringLiteral("no longer there");
// A listed name that leads to a file the run has saved already through name.
inline QString SameFileAs(const QByteArray& name) {
    return QStringLiteral("same file as ") + QString::fromUtf8(name);
}
}  // namespace Reason

// The results of the last run; zero and a lone CRLF until the first run.
struct RunResults {
    // Replace mode: files whose content changed. Find mode: files holding the search text.
    qint32 FilesAffected = 0;
    // Entries that qualified and were processed, whether or not they matched.
    qint32 FilesProcessed = 0;
    // CRLF, then each hit file's bare name followed by CRLF, in list order.
    QString FoundList = QStringLiteral("\r\n");
    // The same hit names as raw bytes, in list order; names may hold CR or LF.
    QList<QByteArray> foundNames;
    // Files left as they were although they held the search text, or that could not be read.
    QList<LeftUnchanged> leftUnchanged;

    // Counts a hit (an empty reason) or lists a file left unchanged.
    void Report(const QByteArray& name, const QString& reason) {
        if (!reason.isEmpty()) {
            leftUnchanged.append({name, reason});
            return;
        }
        ++FilesAffected;
        FoundList += QString::fromUtf8(name) + QStringLiteral("\r\n");
        foundNames.append(name);
    }
};
