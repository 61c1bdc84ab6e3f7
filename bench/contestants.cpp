#include "contestants.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

Timing TimeProcess(const QString& folder, const QStringList& command) {
    std::vector<QByteArray> storage;
    for (const QString& part : command) {
        storage.push_back(part.toLocal8Bit());
    }
    std::vector<char*> argv;
    for (QByteArray& part : storage) {
        argv.push_back(part.data());
    }
    argv.push_back(nullptr);
    const QByteArray directory = QFile::encodeName(folder);

    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        qFatal("pipe failed");
    }
    Timing timing;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        if (::chdir(directory.constData()) != 0) {
            ::_exit(126);
        }
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        timing.output.append(buffer, n);
    }
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    timing.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    timing.peakRssKiB = usage.ru_maxrss;
    timing.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return timing;
}

void Restore(const QString& pristine, const QString& folder) {
    QDir(folder).removeRecursively();
    const Timing copy = TimeProcess(QDir::rootPath(), {"cp", "-a", pristine, folder});
    if (copy.exitCode != 0) {
        qFatal("cannot copy %s to %s", qPrintable(pristine), qPrintable(folder));
    }
    ::sync();
}

double Median(QList<double> values) {
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int FilesHolding(const QString& folder, const QByteArray& text) {
    int count = 0;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text)) {
            ++count;
        }
    }
    return count;
}
