// SPDX-License-Identifier: GPL-3.0-or-later
#include "commandline.h"

#include "batchrun.h"
#include "eventpump.h"
#include "filename.h"
#include "filepattern.h"
#include "filteredfolder.h"
#include "posixfilestore.h"
#include "previewstore.h"
#include "runobserver.h"
#include "runrequest.h"
#include "summary.h"
#include "textdecoding.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace {

QString Shown(const QByteArray& bytes) {
    return FileName::Display(bytes);
}

// "quillmark: " and message, one line, as UTF-8.
QByteArray MessageLine(const QString& message) {
    return "quillmark: " + message.toUtf8() + '\n';
}

// Standard output as a run writes to it: after a write fails, standard error says why and
// nothing more is written.
class CheckedOutput {
public:
    explicit CheckedOutput(CommandLineOutput& output) : output_(output) {}
    // Writes bytes unless an earlier write failed; returns whether they were written.
    bool Write(QByteArrayView bytes) {
        if (failed_) {
            return false;
        }
        const int error = output_.Out(bytes);
        if (error == 0) {
            return true;
        }
        failed_ = true;
        output_.Err(MessageLine(QCoreApplication::translate("CommandLine", "standard output: %1")
                                    .arg(QString::fromLocal8Bit(std::strerror(error)))));
        return false;
    }
    bool Failed() const { return failed_; }

private:
    CommandLineOutput& output_;
    bool failed_ = false;
};

// "Left unchanged: NAME (reason)" and a line break. The name goes in as raw bytes, and so
// does a name the reason carries.
QByteArray LeftUnchangedLine(const QByteArray& name, const LeftReason& reason) {
    const QByteArray pattern =
        QCoreApplication::translate("CommandLine", "Left unchanged: %1 (%2)").toUtf8();
    QByteArray line;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (pattern[i] == '%' && (next == '1' || next == '2')) {
            line += next == '1' ? name : ReasonBytes(reason);
            ++i;
        } else {
            line += pattern[i];
        }
    }
    return line + '\n';
}

// The command line's watch over a run: prints each name as soon as it is known, lets pump
// look for a stop before the first file and after each, and ends the run after the file in
// hand once stop points at true or standard output has failed.
class PrintingObserver : public RunObserver {
public:
    PrintingObserver(CheckedOutput& out, CommandLineOutput& output, PreviewStore& preview, char end,
                     EventPump* pump, const bool* stop)
        : out_(out), output_(output), preview_(preview), end_(end), pump_(pump), stop_(stop) {}

    void RunBegins(int) override { Pump(); }
    bool Reached(int) override { return !out_.Failed() && !(stop_ && *stop_); }
    void Processed(int, int) override { Pump(); }
    // A preview prints what it made of the file (a diff, its lines) instead of its name.
    void Found(const QByteArray& name) override {
        const QByteArray shown = preview_.Take(name);
        out_.Write(shown.isNull() ? name + end_ : shown);
    }
    void LeftUnchanged(const QByteArray& name, const LeftReason& reason) override {
        output_.Err(LeftUnchangedLine(name, reason));
    }

private:
    void Pump() {
        if (pump_) {
            pump_->DoEvents();
        }
    }

    CheckedOutput& out_;
    CommandLineOutput& output_;
    PreviewStore& preview_;
    const char end_;
    EventPump* pump_;
    const bool* stop_;
};

// "quillmark: no file in FOLDER passes the filter "PATTERNS"" and a line break, the folder
// as its bytes.
QByteArray NoFileLine(const CommandLine& request) {
    const QByteArray line = MessageLine(
        QCoreApplication::translate("CommandLine", "no file in %1 passes the filter \"%2\"")
            .replace(QLatin1String("%2"), request.filter));
    const qsizetype at = line.indexOf("%1");
    return line.left(at) + request.folder + line.mid(at + 2);
}

// Gathers what standard output and standard error would get.
class GatheredOutput : public CommandLineOutput {
public:
    GatheredOutput(QByteArray& out, QByteArray& err) : out_(out), err_(err) {}
    int Out(QByteArrayView bytes) override {
        out_ += bytes;
        return 0;
    }
    void Err(QByteArrayView bytes) override { err_ += bytes; }

private:
    QByteArray& out_;
    QByteArray& err_;
};

int CarryOut(const CommandLine& request, CommandLineOutput& output, EventPump* pump,
             const bool* stop);

}  // namespace

int RunCommandLine(const CommandLine& request, QByteArray& out, QByteArray& err, EventPump* pump,
                   const bool* stop) {
    GatheredOutput output(out, err);
    return RunCommandLine(request, output, pump, stop);
}

int RunCommandLine(const CommandLine& request, CommandLineOutput& output, EventPump* pump,
                   const bool* stop) {
    try {
        return CarryOut(request, output, pump, stop);
    } catch (const std::bad_alloc&) {
        output.Err(MessageLine(ReasonText(Reason::NotEnoughMemory)));
    } catch (...) {
        output.Err(MessageLine(ReasonText(Reason::InternalError)));
    }
    return ExitStatus::Unfinished;
}

namespace {

int CarryOut(const CommandLine& request, CommandLineOutput& output, EventPump* pump,
             const bool* stop) {
    CheckedOutput out(output);
    switch (request.mode) {
        case CommandLine::Mode::Help:
            return out.Write(CommandLineUsage().toUtf8()) ? ExitStatus::AllHandled
                                                          : ExitStatus::Unfinished;
        case CommandLine::Mode::Version:
            return out.Write(CommandLineVersion().toUtf8()) ? ExitStatus::AllHandled
                                                            : ExitStatus::Unfinished;
        case CommandLine::Mode::UsageError:
        case CommandLine::Mode::Window:
            output.Err(MessageLine(request.error.isEmpty() ? QCoreApplication::translate(
                                                                 "CommandLine", "no --find TEXT")
                                                           : request.error));
            output.Err(
                MessageLine(QCoreApplication::translate("CommandLine", "see quillmark --help")));
            return ExitStatus::UsageError;
        case CommandLine::Mode::Refused:
            output.Err(MessageLine(request.error));
            return ExitStatus::Refused;
        case CommandLine::Mode::Run:
            break;
    }

    QString error;
    const std::optional<FilePattern> filter = FilePattern::Parse(request.filter, error);
    if (!filter) {
        output.Err(MessageLine(
            QCoreApplication::translate("CommandLine", "the filter \"%1\" is refused: %2")
                .arg(request.filter, error)));
        return ExitStatus::Refused;
    }
    FilteredFolder files(request.folder, *filter, request.hidden);
    if (!files.Read(error)) {
        output.Err(MessageLine(
            QCoreApplication::translate("CommandLine", "the folder \"%1\" cannot be opened: %2")
                .arg(Shown(request.folder), error)));
        return ExitStatus::Refused;
    }
    if (files.ListCount() == 0) {
        output.Err(NoFileLine(request));
        return ExitStatus::NoneHeld;
    }
    // Every name is checked before any file is touched: a mistyped name changes nothing.
    for (const QByteArray& name : request.names) {
        const int index = files.IndexOf(name);
        if (index < 0) {
            output.Err(MessageLine(
                QCoreApplication::translate(
                    "CommandLine", "\"%1\" is not among the files of \"%2\" that pass the filter")
                    .arg(Shown(name), Shown(request.folder))));
            return ExitStatus::Refused;
        }
        files.SetSelected(index, true);
    }

    RunRequest run;
    run.findText = request.findText;
    run.replaceText = request.replaceText;
    run.caseSensitive = request.caseSensitive;
    run.selectedOnly = !request.names.isEmpty();
    run.findOnly = !request.replace;
    run.legacy = request.legacy;
    PosixFileStore posix;
    PreviewStore store(posix, request);
    store.HoldFolder(files.Folder());
    // Each name as soon as it is known: a run cut short by a kill has named what it did.
    PrintingObserver printer(out, output, store, request.nulEnded ? '\0' : '\n', pump, stop);
    RunEnvironment environment{store, &printer};
    RunResults results;
    std::optional<LeftReason> endedBy;
    try {
        ProcessFileList(environment, files, run, results);
    } catch (const std::bad_alloc&) {
        endedBy = Reason::NotEnoughMemory;
    } catch (...) {
        endedBy = Reason::InternalError;
    }

    const bool stopped = stop && *stop;
    if (endedBy) {
        output.Err(MessageLine(QCoreApplication::translate(
                                   "CommandLine", "stopped before every file was processed (%1)")
                                   .arg(ReasonText(*endedBy))));
    } else if (stopped) {
        output.Err(MessageLine(
            QCoreApplication::translate("CommandLine", "stopped before every file was processed")));
    }
    if (stopped || endedBy || out.Failed()) {
        return ExitStatus::Unfinished;
    }
    // A second name of a file altered under its first leaves nothing undone.
    const bool leftUndone = std::any_of(
        results.leftUnchanged.cbegin(), results.leftUnchanged.cend(),
        [](const LeftUnchanged& left) { return left.reason.kind != LeftReason::SameFileAs; });
    if (leftUndone) {
        return ExitStatus::LeftAlone;
    }
    return results.FilesAffected > 0 ? ExitStatus::AllHandled : ExitStatus::NoneHeld;
}

}  // namespace
