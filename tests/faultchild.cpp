// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the engine over one folder with the real file store and prints who ran it and what the
// run did (see runreport.h). The fault tests start it as another user, and kill it. In undo
// mode it replaces, says "undoing" on stderr, undoes the replace and reports the undo.
//
//   fault_child FOLDER FIND REPLACEMENT [find|undo]

#include "batchrun.h"
#include "fakes.h"
#include "folderlist.h"
#include "mappedfile.h"
#include "posixfilestore.h"
#include "runreport.h"
#include "stopsignals.h"
#include "undolastreplace.h"
#include "undorecord.h"

#include <QFile>

#include <grp.h>
#include <unistd.h>

#include <cstdio>

namespace {

RunIdentity WhoAmI() {
    RunIdentity who;
    who.realUid = ::getuid();
    who.effectiveUid = ::geteuid();
    who.realGid = ::getgid();
    who.effectiveGid = ::getegid();
    gid_t groups[256];
    const int count = ::getgroups(256, groups);
    for (int i = 0; i < count; ++i) {
        who.groups.append(groups[i]);
    }
    QFile status("/proc/self/status");
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("CapEff:")) {
                who.effectiveCapabilities = line.mid(7).trimmed();
            }
        }
    }
    return who;
}

// Before each file, turns a stop signal into the end of the run after the file in hand, as
// the window does.
class StopOnSignal : public RunObserver {
public:
    bool Reached(int) override { return !StopSignals::Requested(); }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fputs("usage: fault_child FOLDER FIND REPLACEMENT [find|undo]\n", stderr);
        return 2;
    }
    StopSignals::Install();
    MappedFile::InstallBusErrorHandler();
    const QByteArray mode = argc == 5 ? QByteArray(argv[4]) : QByteArray();
    const bool findOnly = mode == "find";
    RunRequest request = Texts(argv[2], argv[3]);
    request.findOnly = findOnly;
    PosixFileStore files;
    FolderFileList list(argv[1]);
    StopOnSignal stop;
    RunEnvironment env{files, &stop};
    UndoRecord undo;
    if (mode == "undo") {
        env.undo = &undo;
    }
    RunResults results;
    ProcessFileList(env, list, request, results);
    if (mode == "undo") {
        // The tests aim their kills at the undo from this line on.
        std::fputs("undoing\n", stderr);
        std::fflush(stderr);
        UndoLastReplace(env, undo, results);
    }
    const QByteArray report = EncodeReport(WhoAmI(), results);
    std::fwrite(report.constData(), 1, std::size_t(report.size()), stdout);
    return 0;
}
