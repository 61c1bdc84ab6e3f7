// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

// Why a file that held the search text, or that could not be read, was left as it was.
// ReasonText and ReasonBytes put it into words.
struct LeftReason {
    enum Kind {
        CouldNotBeRead,
        CouldNotBeWritten,
        ReadOnly,
        BinaryFile,
        ChangedByAnotherProgram,
        SeveralHardLinks,
        NotARegularFile,
        InUseByAnotherProgram,
        ChangedSinceTheReplace,
        LinkOfAnotherUser,
        NoLongerThere,
        NotEnoughMemory,    // the file in hand when an allocation failure ended the run
        InternalError,      // the file in hand when another error ended the run
        SameFileAs,         // a listed name of a file the run has saved already through other
        CannotBeWrittenIn,  // the replacement holds a character the encoding other cannot hold
    };
    Kind kind = CouldNotBeRead;
    // SameFileAs: the other name, raw bytes; CannotBeWrittenIn: the encoding's name; else empty.
    QByteArray other;
    friend bool operator==(const LeftReason&, const LeftReason&) = default;
};

namespace Reason {
inline const LeftReason CouldNotBeRead{LeftReason::CouldNotBeRead, {}};
inline const LeftReason CouldNotBeWritten{LeftReason::CouldNotBeWritten, {}};
inline const LeftReason ReadOnly{LeftReason::ReadOnly, {}};
inline const LeftReason BinaryFile{LeftReason::BinaryFile, {}};
inline const LeftReason ChangedByAnotherProgram{LeftReason::ChangedByAnotherProgram, {}};
inline const LeftReason SeveralHardLinks{LeftReason::SeveralHardLinks, {}};
inline const LeftReason NotARegularFile{LeftReason::NotARegularFile, {}};
inline const LeftReason InUseByAnotherProgram{LeftReason::InUseByAnotherProgram, {}};
inline const LeftReason ChangedSinceTheReplace{LeftReason::ChangedSinceTheReplace, {}};
inline const LeftReason LinkOfAnotherUser{LeftReason::LinkOfAnotherUser, {}};
inline const LeftReason NoLongerThere{LeftReason::NoLongerThere, {}};
inline const LeftReason NotEnoughMemory{LeftReason::NotEnoughMemory, {}};
inline const LeftReason InternalError{LeftReason::InternalError, {}};
// A listed name that leads to a file the run has saved already through name.
inline LeftReason SameFileAs(const QByteArray& name) {
    return {LeftReason::SameFileAs, name};
}
// A file where the replacement holds a character that encoding cannot hold.
inline LeftReason CannotBeWrittenIn(const QByteArray& encoding) {
    return {LeftReason::CannotBeWrittenIn, encoding};
}
}  // namespace Reason

// A file that held the search text but was left as it was, and why.
struct LeftUnchanged {
    QByteArray name;  // the bare file name, raw bytes
    LeftReason reason;
};

// The results of the last run; zero and empty until the first run. The summary code
// (FoundList, BuildSummary) puts them into words.
struct RunResults {
    // Replace mode: files whose content changed. Find mode: files holding the search text.
    qint32 FilesAffected = 0;
    // Entries that qualified and were processed, whether or not they matched.
    qint32 FilesProcessed = 0;
    // The hit names as raw bytes, in list order; names may hold CR or LF.
    QList<QByteArray> foundNames;
    // Files left as they were although they held the search text, or that could not be read.
    QList<LeftUnchanged> leftUnchanged;

    // Counts a hit.
    void Found(const QByteArray& name) {
        ++FilesAffected;
        foundNames.append(name);
    }
    // Lists a file left unchanged.
    void Left(const QByteArray& name, const LeftReason& reason) {
        leftUnchanged.append({name, reason});
    }
};
