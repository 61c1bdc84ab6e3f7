#include "applicationrecord.h"
#include "commandline.h"
#include "frmmain.h"
#include "mappedfile.h"
#include "stopsignalpump.h"
#include "stopsignals.h"

#include <QApplication>
#include <QCoreApplication>

#include <unistd.h>

#include <cerrno>

namespace {

QList<QByteArray> Arguments(int argc, char* argv[]) {
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.append(QByteArray(argv[i]));
    }
    return arguments;
}

void WriteAll(int fd, const QByteArray& bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        written += n;
    }
}

int RunWithoutWindow(const CommandLine& request) {
    bool stop = false;
    StopSignalPump pump(stop);
    QByteArray out;
    QByteArray err;
    const int status = RunCommandLine(request, out, err, &pump, &stop);
    WriteAll(STDOUT_FILENO, out);
    WriteAll(STDERR_FILENO, err);
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    StopSignals::Install();
    MappedFile::InstallBusErrorHandler();
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
