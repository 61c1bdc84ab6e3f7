// SPDX-License-Identifier: GPL-3.0-or-later
#include "withoutwindow.h"

#include "commandline.h"
#include "mappedfile.h"
#include "stopsignalpump.h"
#include "stopsignals.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace {

// Returns 0, or the errno of the write that failed.
int WriteAll(int fd, QByteArrayView bytes) {
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, std::size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return errno;
        }
        if (n == 0) {
            return EIO;
        }
        written += n;
    }
    return 0;
}

// The process's standard output and standard error, unbuffered.
class StandardStreams : public CommandLineOutput {
public:
    int Out(QByteArrayView bytes) override { return WriteAll(STDOUT_FILENO, bytes); }
    void Err(QByteArrayView bytes) override { (void)WriteAll(STDERR_FILENO, bytes); }
};

}  // namespace

void PrepareProcess() {
    StopSignals::Install();
    // A write past the file size limit then fails with EFBIG, and one to a pipe without a
    // reader with EPIPE, instead of killing the program: the file is "could not be written",
    // and a failed standard output is said on standard error.
    std::signal(SIGXFSZ, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
    MappedFile::InstallBusErrorHandler();
}

int RunWithoutWindow(const CommandLine& request) {
    bool stop = false;
    StopSignalPump pump(stop);
    StandardStreams streams;
    return RunCommandLine(request, streams, &pump, &stop);
}
