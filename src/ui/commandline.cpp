#include "commandline.h"

#include "batchrun.h"
#include "eventpump.h"
#include "filename.h"
#include "filepattern.h"
#include "filteredfolder.h"
#include "posixfilestore.h"
#include "previewstore.h"
#include "summary.h"
#include "textdecoding.h"
#include "textsource.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace {

// The search and replacement texts of a run without a window: as given, for every file.
class GivenTexts : public TextSource {
public:
    GivenTexts(QByteArray find, QByteArray replacement)
        : find_(std::move(find)), replacement_(std::move(replacement)) {}
    QByteArray FindText() const override { return find_; }
    QByteArray ReplaceText() const override { return replacement_; }

private:
    QByteArray find_;
    QByteArray replacement_;
};

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

// Between files: dispatches through pump, and ends the run after the file in hand once stop
// points at true or halt is set.
class HaltingPump : public EventPump {
public:
    HaltingPump(EventPump* pump, const bool* stop, bool& halt)
        : pump_(pump), stop_(stop), halt_(halt) {}
    void DoEvents() override {
        if (pump_) {
            pump_->DoEvents();
        }
        halt_ = halt_ || (stop_ && *stop_);
    }

private:
    EventPump* pump_;
    const bool* stop_;
    bool& halt_;
};

// "Left unchanged: NAME (reason)" and a line break. The name goes in as raw bytes, so the
// translated line is cut where it stands.
QByteArray LeftUnchangedLine(const QByteArray& name, const QString& reason) {
    const QString line = QCoreApplication::translate("CommandLine", "Left unchanged: %1 (%2)")
                             .replace(QLatin1String("%2"), ReasonText(reason));
    const qsizetype at = line.indexOf(QLatin1String("%1"));
    return line.left(at).toUtf8() + name + line.mid(at + 2).toUtf8() + '\n';
}

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
    return ExitStatus::LeftAlone;
}

namespace {

int CarryOut(const CommandLine& request, CommandLineOutput& output, EventPump* pump,
             const bool* stop) {
    CheckedOutput out(output);
    switch (request.mode) {
        case CommandLine::Mode::Help:
            return out.Write(CommandLineUsage().toUtf8()) ? ExitStatus::AllHandled
                                                          : ExitStatus::LeftAlone;
        case CommandLine::Mode::Version:
            return out.Write(CommandLineVersion().toUtf8()) ? ExitStatus::AllHandled
                                                            : ExitStatus::LeftAlone;
        case CommandLine::Mode::UsageError:
        case CommandLine::Mode::Window:
            output.Err(MessageLine(request.error.isEmpty() ? QCoreApplication::translate(
                                                                 "CommandLine", "no --find TEXT")
                                                           : request.error));
            output.Err(
                MessageLine(QCoreApplication::translate("CommandLine", "see quillmark --help")));
            return ExitStatus::LeftAlone;
        case CommandLine::Mode::Refused:
            output.Err(MessageLine(request.error));
            return ExitStatus::LeftAlone;
        case CommandLine::Mode::Run:
            break;
    }

    QString error;
    const std::optional<FilePattern> filter = FilePattern::Parse(request.filter, error);
    if (!filter) {
        output.Err(MessageLine(
            QCoreApplication::translate("CommandLine", "the filter \"%1\" is refused: %2")
                .arg(request.filter, error)));
        return ExitStatus::LeftAlone;
    }
    FilteredFolder files(request.folder, *filter, request.hidden);
    if (!files.Read(error)) {
        output.Err(MessageLine(
            QCoreApplication::translate("CommandLine", "the folder \"%1\" cannot be opened: %2")
                .arg(Shown(request.folder), error)));
        return ExitStatus::LeftAlone;
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
            return ExitStatus::LeftAlone;
        }
        files.SetSelected(index, true);
    }

    GivenTexts texts(request.findText, request.replaceText);
    PosixFileStore posix;
    PreviewStore store(posix, request);
    store.HoldFolder(files.Folder());
    bool halt = false;
    HaltingPump halting(pump, stop, halt);
    RunEnvironment environment{texts, store, nullptr, &halting, &halt};
    environment.legacy = request.legacy;
    const char end = request.nulEnded ? '\0' : '\n';
    // Each name as soon as it is known: a run cut short by a kill has named what it did.
    environment.report = [&](const QByteArray& name, const QString& reason) {
        if (!reason.isEmpty()) {
            output.Err(LeftUnchangedLine(name, reason));
        } else if (const QByteArray shown = store.Take(name);
                   !out.Write(shown.isNull() ? name + end : shown)) {
            halt = true;
        }
    };
    const qint16 caseSensitive = request.caseSensitive ? 1 : 0;
    const qint16 selectedOnly = request.names.isEmpty() ? 0 : 1;
    const qint16 findOnly = request.replace ? 0 : 1;
    RunResults results;
    QString endedBy;
    try {
        ProcessFileList(environment, files, caseSensitive, selectedOnly, findOnly, results);
    } catch (const std::bad_alloc&) {
        endedBy = Reason::NotEnoughMemory;
    } catch (...) {
        endedBy = Reason::InternalError;
    }

    const bool stopped = stop && *stop;
    if (!endedBy.isEmpty()) {
        output.Err(MessageLine(QCoreApplication::translate(
                                   "CommandLine", "stopped before every file was processed (%1)")
                                   .arg(ReasonText(endedBy))));
    } else if (stopped) {
        output.Err(MessageLine(
            QCoreApplication::translate("CommandLine", "stopped before every file was processed")));
    }
    // A second name of a file altered under its first leaves nothing undone.
    const bool leftUndone =
        std::any_of(results.leftUnchanged.cbegin(), results.leftUnchanged.cend(),
                    [](const LeftUnchanged& left) {
                        return !left.reason.startsWith(Reason::SameFileAsPrefix);
                    });
    if (stopped || !endedBy.isEmpty() || out.Failed() || leftUndone) {
        return ExitStatus::LeftAlone;
    }
    return results.FilesAffected > 0 ? ExitStatus::AllHandled : ExitStatus::NoneHeld;
}

}  // namespace
