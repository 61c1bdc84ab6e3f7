// SPDX-License-Identifier: GPL-3.0-or-later
// The window program, quillmark-window, which the quillmark command becomes when the arguments
// ask for the window. Run by itself, it also carries out the modes without a window.
#include "applicationrecord.h"
#include "commandline.h"
#include "frmmain.h"
#include "withoutwindow.h"

#include <QApplication>
#include <QCoreApplication>

namespace {

QList<QByteArray> Arguments(int argc, char* argv[]) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    return arguments;
}

}  // namespace

int main(int argc, char* argv[]) {
    PrepareProcess();
    if (!CommandLine::WantsWindow(Arguments(argc, argv))) {
        // No QApplication here: these modes must work without a display.
        QCoreApplication app(argc, argv);
        return RunWithoutWindow(CommandLine::Parse(Arguments(argc, argv)));
    }
    QApplication app(argc, argv);
    ApplicationRecord::Install();
    // Read after QApplication has taken its own options (-style, -platform...) out of argv.
    const CommandLine request = CommandLine::Parse(Arguments(argc, argv));
    if (request.mode != CommandLine::Mode::Window) {
        return RunWithoutWindow(request);
    }
    frmMain window;
    window.SetLegacyEncoding(request.legacy);
    window.show();
    if (!request.folder.isEmpty()) {
        window.OpenFolder(request.folder);
    }
    return QApplication::exec();
}
