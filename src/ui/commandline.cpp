#include "commandline.h"

#include "applicationversion.h"
#include "batchrun.h"
#include "eventpump.h"
#include "filepattern.h"
#include "filteredfolder.h"
#include "posixfilestore.h"
#include "runobserver.h"
#include "runrequest.h"
#include "summary.h"
#include "textdecoding.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace {

// The filter the window's filter box starts with.
QString StartFilter() {
    return QString::fromLatin1(kDefaultFilter);
}

// The options that take a value, as "--name VALUE" or "--name=VALUE".
const QList<QByteArray> kValueOptions = {"--find", "--replace", "--filter", "--legacy-encoding"};

CommandLine UsageError(const QString& error) {
    CommandLine request;
    request.mode = CommandLine::Mode::UsageError;
    request.error = error;
    return request;
}

QString Shown(const QByteArray& bytes) {
    return QFile::decodeName(bytes);
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
    PrintingObserver(CheckedOutput& out, CommandLineOutput& output, char end, EventPump* pump,
                     const bool* stop)
        : out_(out), output_(output), end_(end), pump_(pump), stop_(stop) {}

    void RunBegins(int) override { Pump(); }
    bool Reached(int) override { return !out_.Failed() && !(stop_ && *stop_); }
    void Processed(int, int) override { Pump(); }
    void Found(const QByteArray& name) override { out_.Write(name + end_); }
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
    const char end_;
    EventPump* pump_;
    const bool* stop_;
};

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

CommandLine CommandLine::Parse(const QList<QByteArray>& arguments) {
    CommandLine request;
    request.filter = StartFilter();
    QList<QByteArray> positional;
    bool withoutWindow = false;
    bool findGiven = false;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray& argument = arguments[i];
        if (optionsEnded || !argument.startsWith('-') || argument == "-") {
            positional.append(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            request.mode = Mode::Help;
            return request;
        }
        if (argument == "--version") {
            request.mode = Mode::Version;
            return request;
        }
        if (argument == "--case-sensitive") {
            request.caseSensitive = true;
            withoutWindow = true;
            continue;
        }
        if (argument == "--null") {
            request.nulEnded = true;
            withoutWindow = true;
            continue;
        }
        const qsizetype equals = argument.indexOf('=');
        const QByteArray option = equals < 0 ? argument : argument.left(equals);
        if (!kValueOptions.contains(option)) {
            return UsageError(QCoreApplication::translate("CommandLine", "unknown option %1")
                                  .arg(Shown(argument)));
        }
        QByteArray value;
        if (equals >= 0) {
            value = argument.mid(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return UsageError(
                QCoreApplication::translate("CommandLine", "%1 needs a value").arg(Shown(option)));
        }
        if (option == "--legacy-encoding") {
            QString error;
            request.legacy = LegacyEncoding::Named(value, error);
            if (!request.legacy) {
                CommandLine refused;
                refused.mode = Mode::Refused;
                refused.error = error;
                return refused;
            }
            continue;
        }
        withoutWindow = true;
        if (option == "--find") {
            request.findText = value;
            findGiven = true;
        } else if (option == "--replace") {
            request.replaceText = value;
            request.replace = true;
        } else {
            request.filter = QString::fromUtf8(value);
        }
    }

    if (!withoutWindow) {
        if (positional.size() > 1) {
            return UsageError(
                QCoreApplication::translate("CommandLine", "the window opens on one folder, not %1")
                    .arg(positional.size()));
        }
        request.folder = positional.value(0);
        return request;
    }
    if (!findGiven) {
        return UsageError(QCoreApplication::translate("CommandLine", "--find TEXT is needed"));
    }
    if (request.findText.isEmpty()) {
        return UsageError(QCoreApplication::translate("CommandLine", "the search text is empty"));
    }
    if (positional.isEmpty()) {
        return UsageError(QCoreApplication::translate("CommandLine", "a folder is needed"));
    }
    request.mode = Mode::Run;
    request.folder = positional.takeFirst();
    request.names = positional;
    return request;
}

bool CommandLine::WantsWindow(const QList<QByteArray>& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray& argument = arguments[i];
        if (argument == "--") {
            break;
        }
        if (argument == "--legacy-encoding" || argument.startsWith("--legacy-encoding=")) {
            // A refused name is said without a window, so no display is needed for it either.
            const QByteArray name = argument.startsWith("--legacy-encoding=")
                                        ? argument.mid(argument.indexOf('=') + 1)
                                        : arguments.value(++i);
            QString error;
            if (!LegacyEncoding::Named(name, error)) {
                return false;
            }
            continue;
        }
        // Qt's own options, which the window takes, start with one dash; an unknown option
        // with two is refused without a window, so no display is needed to say so.
        if (argument.startsWith("--") || argument == "-h") {
            return false;
        }
    }
    return true;
}

QString CommandLineUsage() {
    return QCoreApplication::translate(
               "CommandLine",
               "Usage: quillmark [--legacy-encoding NAME] [FOLDER]\n"
               "       quillmark --find TEXT [--replace TEXT] [--case-sensitive]\n"
               "                 [--filter PATTERNS] [--null] [--legacy-encoding NAME]\n"
               "                 FOLDER [NAME...]\n"
               "\n"
               "Without --find, opens the window on FOLDER (or on the current folder).\n"
               "\n"
               "With --find, runs without a window over the files of FOLDER that pass the\n"
               "filter, or only over the NAMEs given, which must be among them:\n"
               "  --find TEXT         the text to search for, taken as given (UTF-8)\n"
               "  --replace TEXT      replace every occurrence with TEXT, without asking;\n"
               "                      without it, only report the files that hold the text\n"
               "  --case-sensitive    match case exactly; by default case is ignored\n"
               "  --filter PATTERNS   file-name patterns separated by \";\"\n"
               "                      (default \"%1\")\n"
               "  --null              end each printed name with NUL, not a line break\n"
               "  --legacy-encoding NAME\n"
               "                      the single-byte encoding of files that are neither\n"
               "                      UTF-8 nor UTF-16 (default windows-1252)\n"
               "  --help              print this text\n"
               "  --version           print the version\n"
               "\n"
               "Prints the name of each file found (or altered), in list order, as soon as\n"
               "it is found (or saved). A file that held the text but was left as it was is\n"
               "named on standard error with the reason. Exit status: 0 when every file that\n"
               "held the text was found or altered, 1 when no file held it, 2 when a file\n"
               "was left unchanged, the run was stopped, standard output failed, memory ran\n"
               "out, or the request, the folder or the filter was refused.\n")
        .arg(StartFilter());
}

QString CommandLineVersion() {
    return QStringLiteral("Quillmark %1\n").arg(QString::fromLatin1(kVersionText));
}

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
    FilteredFolder files(request.folder, *filter);
    if (!files.Read(error)) {
        output.Err(MessageLine(
            QCoreApplication::translate("CommandLine", "the folder \"%1\" cannot be opened: %2")
                .arg(Shown(request.folder), error)));
        return ExitStatus::Refused;
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
    PosixFileStore store;
    store.HoldFolder(files.Folder());
    // Each name as soon as it is known: a run cut short by a kill has named what it did.
    PrintingObserver printer(out, output, request.nulEnded ? '\0' : '\n', pump, stop);
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
