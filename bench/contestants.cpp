// SPDX-License-Identifier: GPL-3.0-or-later
#include "contestants.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string_view>
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

namespace {

// Reads a new copy once. The first read of a file after cp -a or CopyFile costs more CPU than
// the reads after it, and the contestant after sed -i or sd (which rewrite every file) would pay
// it on each round. Bench row "A replace", CPU against the floor x2.
void ReadOnce(int folderFd, const char* name) {
    const int fd = ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    char buffer[64 * 1024];
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
}

// Copies one file of pristine into folder as cp -a would: content, owner, mode and times.
// With overwrite, a regular file of that name in folder is written over where it stands.
bool CopyFile(int pristineFd, int folderFd, const char* name, bool overwrite = false) {
    const int from = ::openat(pristineFd, name, O_RDONLY | O_CLOEXEC);
    if (from < 0) {
        return false;
    }
    struct stat status {};
    bool copied = false;
    const int to = ::fstat(from, &status) != 0 ? -1
                   : overwrite
                       ? ::openat(folderFd, name, O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC)
                       : ::openat(folderFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (to >= 0) {
        off_t left = status.st_size;
        while (left > 0) {
            const ssize_t done =
                ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(left), 0);
            if (done <= 0) {
                break;
            }
            left -= done;
        }
        const timespec times[2] = {status.st_atim, status.st_mtim};
        copied = left == 0 && ::fchown(to, status.st_uid, status.st_gid) == 0 &&
                 ::fchmod(to, status.st_mode & 07777) == 0 && ::futimens(to, times) == 0;
        ::close(to);
        ReadOnce(folderFd, name);
    }
    ::close(from);
    return copied;
}

// Puts an entry of folder back as pristine has it, and false when it cannot. An entry that is
// its pristine twin as cp -a left it stays: every contestant writes a file anew, which gives it
// a modification time of its own. A changed regular file gets pristine's content where it
// stands: without a journal, ext4 passes over each inode freed in the last minute for every new
// one it hands out, so a restore that deleted and copied each changed file made the next
// contestant's CPU depend on how many files the one before it had changed (bench row
// "A replace", CPU against the floor). Anything else is deleted, to be copied afresh.
bool RestoreEntry(int pristineFd, int folderFd, const char* name) {
    struct stat copy {};
    struct stat pristine {};
    const bool regular = ::fstatat(folderFd, name, &copy, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(copy.st_mode) &&
                         ::fstatat(pristineFd, name, &pristine, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISREG(pristine.st_mode);
    if (regular && copy.st_size == pristine.st_size &&
        copy.st_mtim.tv_sec == pristine.st_mtim.tv_sec &&
        copy.st_mtim.tv_nsec == pristine.st_mtim.tv_nsec) {
        return true;
    }
    return (regular && copy.st_nlink == 1 && CopyFile(pristineFd, folderFd, name, true)) ||
           ::unlinkat(folderFd, name, 0) == 0;
}

// Calls visit with each entry name of the folder open as fd but "." and ".."; false when the
// folder cannot be read.
template <typename Visit>
bool ForEachEntry(int fd, const Visit& visit) {
    DIR* dir = ::fdopendir(::dup(fd));
    if (dir == nullptr) {
        return false;
    }
    bool visited = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != ".." && !visit(entry->d_name)) {
            visited = false;
            break;
        }
    }
    ::closedir(dir);
    return visited;
}

// Puts back the files of folder that differ from pristine's and removes those pristine does
// not have; false when that cannot be done, and the whole copy must be made again.
bool RestoreChanged(const QByteArray& pristine, const QByteArray& folder) {
    const int pristineFd = ::open(pristine.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool restored =
        pristineFd >= 0 && folderFd >= 0 &&
        ForEachEntry(folderFd,
                     [&](const char* name) { return RestoreEntry(pristineFd, folderFd, name); }) &&
        ForEachEntry(pristineFd, [&](const char* name) {
            struct stat copy {};
            return ::fstatat(folderFd, name, &copy, AT_SYMLINK_NOFOLLOW) == 0 ||
                   CopyFile(pristineFd, folderFd, name);
        });
    for (const int fd : {pristineFd, folderFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return restored;
}

}  // namespace

void Restore(const QString& pristine, const QString& folder) {
    // The M rows: putting back the tenth of a million files a replace wrote, not all of them.
    if (!QFileInfo::exists(folder) ||
        !RestoreChanged(QFile::encodeName(pristine), QFile::encodeName(folder))) {
        QDir(folder).removeRecursively();
        const Timing copy = TimeProcess(QDir::rootPath(), {"cp", "-a", pristine, folder});
        if (copy.exitCode != 0) {
            qFatal("cannot copy %s to %s", qPrintable(pristine), qPrintable(folder));
        }
        const int folderFd =
            ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd >= 0) {
            ForEachEntry(folderFd, [&](const char* name) {
                ReadOnce(folderFd, name);
                return true;
            });
            ::close(folderFd);
        }
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

std::vector<qsizetype> RoundOrder(qsizetype count, int round) {
    // Williams' square: the first round goes 0, 1, n-1, 2, n-2, ...; each later one adds its
    // number to every entry. For an odd count, the rounds after the first count go backwards.
    std::vector<qsizetype> order;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype first = i == 0 ? 0 : i % 2 ? (i + 1) / 2 : count - i / 2;
        order.push_back((first + round) % count);
    }
    if (count % 2 == 1 && (round / count) % 2 == 1) {
        std::reverse(order.begin(), order.end());
    }
    return order;
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
