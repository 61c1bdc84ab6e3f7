// SPDX-License-Identifier: GPL-3.0-or-later
#include "contestants.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
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
#include <map>
#include <optional>
#include <string>
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

// What a file of a run copy was when Restore left it. Any write, rename over it or change of
// mode moves its change time or its inode.
struct FileMark {
    ino_t inode = 0;
    timespec changed{};
    off_t size = 0;
    bool operator==(const FileMark& other) const {
        return inode == other.inode && changed.tv_sec == other.changed.tv_sec &&
               changed.tv_nsec == other.changed.tv_nsec && size == other.size;
    }
};
using Marks = std::map<std::string, FileMark>;

FileMark MarkOf(const struct stat& status) {
    return {status.st_ino, status.st_ctim, status.st_size};
}

// The marks of folder's entries; nullopt when it cannot be read or holds anything but
// regular files.
std::optional<Marks> ReadMarks(const QByteArray& folder) {
    DIR* dir = ::opendir(folder.constData());
    if (dir == nullptr) {
        return std::nullopt;
    }
    Marks marks;
    bool flat = true;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat status {};
        if (::fstatat(::dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(status.st_mode)) {
            flat = false;
            break;
        }
        marks.emplace(name, MarkOf(status));
    }
    ::closedir(dir);
    return flat ? std::optional(std::move(marks)) : std::nullopt;
}

// Copies one file of pristine into folder as cp -a would: content, owner, mode and times.
std::optional<FileMark> CopyFile(int pristineFd, int folderFd, const char* name) {
    const int from = ::openat(pristineFd, name, O_RDONLY | O_CLOEXEC);
    if (from < 0) {
        return std::nullopt;
    }
    struct stat status {};
    std::optional<FileMark> mark;
    const int to = ::fstat(from, &status) == 0
                       ? ::openat(folderFd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)
                       : -1;
    if (to >= 0) {
        off_t left = status.st_size;
        while (left > 0) {
            const ssize_t copied =
                ::copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(left), 0);
            if (copied <= 0) {
                break;
            }
            left -= copied;
        }
        const timespec times[2] = {status.st_atim, status.st_mtim};
        struct stat written {};
        if (left == 0 && ::fchown(to, status.st_uid, status.st_gid) == 0 &&
            ::fchmod(to, status.st_mode & 07777) == 0 && ::futimens(to, times) == 0 &&
            ::fstat(to, &written) == 0) {
            mark = MarkOf(written);
        }
        ::close(to);
    }
    ::close(from);
    return mark;
}

// Puts back the files of folder that changed since the last Restore left them; false when
// that cannot be done, and the whole copy must be made again.
bool RestoreChanged(const QByteArray& pristine, const QByteArray& folder, Marks& left) {
    const std::optional<Marks> now = ReadMarks(folder);
    if (!now) {
        return false;
    }
    const int pristineFd = ::open(pristine.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool restored = pristineFd >= 0 && folderFd >= 0;
    for (const auto& [name, mark] : *now) {
        const auto was = left.find(name);
        if (restored && (was == left.end() || !(was->second == mark))) {
            restored = ::unlinkat(folderFd, name.c_str(), 0) == 0;
        }
    }
    for (auto& [name, mark] : left) {
        const auto is = now->find(name);
        if (restored && (is == now->end() || !(is->second == mark))) {
            const std::optional<FileMark> copied = CopyFile(pristineFd, folderFd, name.c_str());
            restored = copied.has_value();
            mark = copied.value_or(mark);
        }
    }
    for (const int fd : {pristineFd, folderFd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    return restored;
}

}  // namespace

void Restore(const QString& pristine, const QString& folder) {
    // What each run copy was left as; a copy this process has not made is made again whole.
    static QHash<QString, Marks> leftAt;
    const QByteArray pristinePath = QFile::encodeName(pristine);
    const QByteArray folderPath = QFile::encodeName(folder);
    // The M rows: putting back the tenth of a million files a replace wrote, not all of them.
    if (const auto left = leftAt.find(folder);
        left == leftAt.end() || !RestoreChanged(pristinePath, folderPath, *left)) {
        leftAt.remove(folder);
        QDir(folder).removeRecursively();
        const Timing copy = TimeProcess(QDir::rootPath(), {"cp", "-a", pristine, folder});
        std::optional<Marks> marks = ReadMarks(folderPath);
        if (copy.exitCode != 0 || !marks) {
            qFatal("cannot copy %s to %s", qPrintable(pristine), qPrintable(folder));
        }
        leftAt.insert(folder, std::move(*marks));
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
