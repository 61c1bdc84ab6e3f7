// SPDX-License-Identifier: GPL-3.0-or-later
// The quillmark command. The modes without a window run in this program, which links QtCore
// only; when the arguments ask for the window, it becomes quillmark-window (exec), which links
// the widgets. Bench rows "S --version" and "S one-file find, case-sensitive": loading the
// window's 48 shared objects in every mode cost them more than the run itself.
#include "commandline.h"
#include "withoutwindow.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QList>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// The window program: beside this one in a build, else where the package puts it.
QByteArray WindowProgram() {
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    QByteArray folder = length > 0 ? QByteArray(self, length) : QByteArray("/usr/bin/quillmark");
    folder.truncate(folder.lastIndexOf('/') + 1);
    const QByteArray beside = folder + "quillmark-window";
    if (::access(beside.constData(), X_OK) == 0) {
        return beside;
    }
    return folder + QUILLMARK_WINDOW_FROM_BINDIR;
}

}  // namespace

int main(int argc, char* argv[]) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    if (CommandLine::WantsWindow(arguments)) {
        // argv[0] stays as given, so that the window's application name does not change.
        const QByteArray window = WindowProgram();
        ::execv(window.constData(), argv);
        std::fprintf(stderr, "quillmark: the window program %s cannot be started: %s\n",
                     window.constData(), std::strerror(errno));
        return 2;
    }
    PrepareProcess();
    const CommandLine request = CommandLine::Parse(arguments);
    // --version and --help print fixed texts without the application object, whose set-up
    // was a fifth of their time (bench row "S --version").
    if (request.mode == CommandLine::Mode::Version || request.mode == CommandLine::Mode::Help) {
        return RunWithoutWindow(request);
    }
    // No QApplication here: these modes must work without a display.
    QCoreApplication app(argc, argv);
    return RunWithoutWindow(request);
}
