// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A file system of its own for a test: an ext4 image file mounted through a loop device, or a
// FUSE view (bindfs) of a folder. It is unmounted (lazily when busy) and its image removed in
// every way out of the test, a failed check included.

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

class MountedImage {
public:
    // An ext4 file system of sizeMiB made with mkfsOptions in an image file in base, mounted
    // at base/mnt. Check WhyNot before use.
    static MountedImage Ext4(const QByteArray& base, int sizeMiB,
                             const QStringList& mkfsOptions = {}) {
        MountedImage image(base + "/mnt");
        if (!image.NeedRoot() || !image.NeedTool("mkfs.ext4") || !image.NeedTool("mount")) {
            return image;
        }
        image.image_ = base + "/image.ext4";
        QFile file(QFile::decodeName(image.image_));
        if (!file.open(QIODevice::WriteOnly) || !file.resize(qint64(sizeMiB) << 20)) {
            image.whyNot_ =
                QStringLiteral("cannot make an image file in ") + QFile::decodeName(base);
            return image;
        }
        file.close();
        if (image.Execute("mkfs.ext4", QStringList{"-q", "-F"} + mkfsOptions +
                                           QStringList{QFile::decodeName(image.image_)}) &&
            image.Execute("mount", {"-o", "loop", QFile::decodeName(image.image_),
                                    QFile::decodeName(image.path_)})) {
            image.mounted_ = true;
        }
        return image;
    }

    // source seen through bindfs at base/mnt: a FUSE file system, where O_TMPFILE is refused.
    static MountedImage Bindfs(const QByteArray& source, const QByteArray& base) {
        MountedImage image(base + "/mnt");
        if (image.NeedRoot() && image.NeedTool("bindfs") &&
            image.Execute("bindfs", {QFile::decodeName(source), QFile::decodeName(image.path_)})) {
            image.mounted_ = true;
        }
        return image;
    }

    MountedImage(MountedImage&& other) noexcept
        : path_(std::move(other.path_)),
          image_(std::move(other.image_)),
          whyNot_(std::move(other.whyNot_)),
          mounted_(std::exchange(other.mounted_, false)),
          madeFolder_(std::exchange(other.madeFolder_, false)) {
        other.image_.clear();
    }
    MountedImage(const MountedImage&) = delete;
    MountedImage& operator=(const MountedImage&) = delete;
    MountedImage& operator=(MountedImage&&) = delete;

    ~MountedImage() {
        if (mounted_ && ::umount2(path_.constData(), 0) != 0 && errno == EBUSY) {
            ::umount2(path_.constData(), MNT_DETACH);
        }
        if (!image_.isEmpty()) {
            ::unlink(image_.constData());
        }
        if (madeFolder_) {
            ::rmdir(path_.constData());
        }
    }

    // Empty when mounted; else why not, for a skip message.
    const QString& WhyNot() const { return whyNot_; }
    // The mount point.
    const QByteArray& Path() const { return path_; }

private:
    explicit MountedImage(QByteArray path) : path_(std::move(path)) {
        madeFolder_ = ::mkdir(path_.constData(), 0755) == 0;
    }

    bool NeedRoot() {
        if (::geteuid() != 0) {
            whyNot_ = QStringLiteral("mounting a file system needs root");
        }
        return whyNot_.isEmpty();
    }

    bool NeedTool(const QString& tool) {
        if (QStandardPaths::findExecutable(tool).isEmpty() &&
            QStandardPaths::findExecutable(tool, {"/usr/sbin", "/sbin"}).isEmpty()) {
            whyNot_ = tool + QStringLiteral(" is missing (scripts/install-deps.sh installs it)");
        }
        return whyNot_.isEmpty();
    }

    bool Execute(const QString& tool, const QStringList& arguments) {
        QString program = QStandardPaths::findExecutable(tool);
        if (program.isEmpty()) {
            program = QStandardPaths::findExecutable(tool, {"/usr/sbin", "/sbin"});
        }
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            whyNot_ = tool + QStringLiteral(" failed: ") +
                      QString::fromLocal8Bit(process.readAll()).trimmed();
            return false;
        }
        return true;
    }

    QByteArray path_;
    QByteArray image_;
    QString whyNot_;
    bool mounted_ = false;
    bool madeFolder_ = false;
};
