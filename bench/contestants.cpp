// SPDX-License-Identifier: GPL-3.0-or-later
#include "contestants.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

Timing TimeProcess(const QString& folder, const QStringList& command,
                   const QStringList& environment) {
    std::vector<QByteArray> settings;
    for (const QString& setting : environment) {
        settings.push_back(setting.toLocal8Bit());
    }
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
        for (QByteArray& setting : settings) {
            ::putenv(setting.data());
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
    const auto toSeconds = [](const timeval& t) {
        return double(t.tv_sec) + double(t.tv_usec) / 1e6;
    };
    timing.cpuSeconds = toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
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

bool DropCaches() {
    ::sync();
    QFile control(QStringLiteral("/proc/sys/vm/drop_caches"));
    return control.open(QIODevice::WriteOnly) && control.write("3\n") == 2 && control.flush();
}

VirtualDisplay::VirtualDisplay() {
    // With -displayfd the server picks a free display and writes its number once it listens.
    server_.setProgram(QStringLiteral("Xvfb"));
    server_.setArguments({"-displayfd", "1", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
    server_.setStandardErrorFile(QProcess::nullDevice());
    server_.start();
    if (server_.waitForStarted(5000) && server_.waitForReadyRead(10000)) {
        const QByteArray number = server_.readLine().trimmed();
        if (!number.isEmpty()) {
            display_ = ":" + QString::fromLatin1(number);
        }
    }
}

VirtualDisplay::~VirtualDisplay() {
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        if (!server_.waitForFinished(5000)) {
            server_.kill();
            server_.waitForFinished(5000);
        }
    }
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
