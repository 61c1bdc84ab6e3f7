#pragma once

#include "filename.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QtGlobal>

// A file that held the search text but was left as it was, and why.
struct LeftUnchanged {
    QByteArray name;  // the bare file name, raw bytes
    QString reason;   // one of the reason texts below, in English; ReasonText translates it
};

namespace Reason {
// Each reason is kept in English and put into the user's language by ReasonText when shown.
inline const QString CouldNotBeRead =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "could not be read"));
inline const QString CouldNotBeWritten =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "could not be written"));
inline const QString ReadOnly = QStringLiteral(QT_TRANSLATE_NOOP("Reason", "read-only"));
inline const QString BinaryFile = QStringLiteral(QT_TRANSLATE_NOOP("Reason", "binary file"));
inline const QString ChangedByAnotherProgram =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "changed by another program"));
inline const QString SeveralHardLinks =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "has several hard links"));
inline const QString NotARegularFile =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "not a regular file"));
inline const QString InUseByAnotherProgram =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "in use by another program"));
inline const QString ChangedSinceTheReplace =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "changed since the replace"));
inline const QString LinkOfAnotherUser =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "link owned by another user"));
inline const QString NoLongerThere = QStringLiteral(QT_TRANSLATE_NOOP("Reason", "no longer there"));
// The file in hand when an allocation failure, or another error, ended the run.
inline const QString NotEnoughMemory =
    QStringLiteral(QT_TRANSLATE_NOOP("Reason", "not enough memory"));
inline const QString InternalError = QStringLiteral(QT_TRANSLATE_NOOP("Reason", "internal error"));
// The start of SameFileAs's reasons; ReasonText translates "same file as %1" for it.
inline const QString SameFileAsPrefix = QStringLiteral("same file as ");
// A listed name that leads to a file the run has saved already through name.
inline QString SameFileAs(const QByteArray& name) {
    return SameFileAsPrefix + FileName::Display(name);
}
// The start of CannotBeWrittenIn's reasons; ReasonText translates it with the encoding's name.
inline const QString CannotBeWrittenInPrefix =
    QStringLiteral("the replacement cannot be written in ");
// A file where the replacement holds a character that encoding cannot hold.
inline QString CannotBeWrittenIn(const QByteArray& encoding) {
    return CannotBeWrittenInPrefix + QString::fromUtf8(encoding);
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
        FoundList += FileName::Display(name) + QStringLiteral("\r\n");
        foundNames.append(name);
    }
};
