#include "commandline.h"

#include "applicationversion.h"
#include "batchrun.h"
#include "filepattern.h"
#include "filteredfolder.h"
#include "layouttable.h"
#include "posixfilestore.h"
#include "summary.h"
#include "textdecoding.h"
#include "textsource.h"

#include <QCoreApplication>
#include <QFile>

#include <optional>

namespace {

// The filter the window's filter box starts with.
QString StartFilter() {
    for (const ControlRow& row : kLayout) {
        if (row.name == "txtFilePattern") {
            return QString::fromLatin1(row.caption);
        }
    }
    Q_UNREACHABLE();
}

// The options that take a value, as "--name VALUE" or "--name=VALUE".
const QList<QByteArray> kValueOptions = {"--find", "--replace", "--filter", "--legacy-encoding"};

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
    for (const QByteArray& argument : arguments) {
        if (argument == "--") {
            break;
        }
        if (argument == "--legacy-encoding" || argument.startsWith("--legacy-encoding=")) {
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
               "Prints the name of each file found (or altered), in list order. A file that\n"
               "held the text but was left as it was is named on standard error with the\n"
               "reason. Exit status: 0 when every file that held the text was found or\n"
               "altered, 1 when no file held it, 2 when a file was left unchanged, the run\n"
               "was stopped, or the request, the folder or the filter was refused.\n")
        .arg(StartFilter());
}

QString CommandLineVersion() {
    return QStringLiteral("Quillmark %1\n").arg(QString::fromLatin1(kVersionText));
}

int RunCommandLine(const CommandLine& request, QByteArray& out, QByteArray& err, EventPump* pump,
                   const bool* stop) {
    switch (request.mode) {
        case CommandLine::Mode::Help:
            out += CommandLineUsage().toUtf8();
            return ExitStatus::AllHandled;
        case CommandLine::Mode::Version:
            out += CommandLineVersion().toUtf8();
            return ExitStatus::AllHandled;
        case CommandLine::Mode::UsageError:
        case CommandLine::Mode::Window:
            err += MessageLine(request.error.isEmpty()
                                   ? QCoreApplication::translate("CommandLine", "no --find TEXT")
                                   : request.error);
            err += MessageLine(QCoreApplication::translate("CommandLine", "see quillmark --help"));
            return ExitStatus::LeftAlone;
        case CommandLine::Mode::Refused:
            err += MessageLine(request.error);
            return ExitStatus::LeftAlone;
        case CommandLine::Mode::Run:
            break;
    }

    QString error;
    const std::optional<FilePattern> filter = FilePattern::Parse(request.filter, error);
    if (!filter) {
        err += MessageLine(
            QCoreApplication::translate("CommandLine", "the filter \"%1\" is refused: %2")
                .arg(request.filter, error));
        return ExitStatus::LeftAlone;
    }
    FilteredFolder files(request.folder, *filter);
    if (!files.Read(error)) {
        err += MessageLine(
            QCoreApplication::translate("CommandLine", "the folder \"%1\" cannot be opened: %2")
                .arg(Shown(request.folder), error));
        return ExitStatus::LeftAlone;
    }
    // Every name is checked before any file is touched: a mistyped name changes nothing.
    for (const QByteArray& name : request.names) {
        const int index = files.IndexOf(name);
        if (index < 0) {
            err += MessageLine(
                QCoreApplication::translate(
                    "CommandLine", "\"%1\" is not among the files of \"%2\" that pass the filter")
                    .arg(Shown(name), Shown(request.folder)));
            return ExitStatus::LeftAlone;
        }
        files.SetSelected(index, true);
    }

    GivenTexts texts(request.findText, request.replaceText);
    PosixFileStore store;
    RunEnvironment environment{texts, store, nullptr, pump, stop};
    environment.legacy = request.legacy;
    const qint16 caseSensitive = request.caseSensitive ? 1 : 0;
    const qint16 selectedOnly = request.names.isEmpty() ? 0 : 1;
    const qint16 findOnly = request.replace ? 0 : 1;
    RunResults results;
    ProcessFileList(environment, files, caseSensitive, selectedOnly, findOnly, results);

    const char end = request.nulEnded ? '\0' : '\n';
    for (const QByteArray& name : std::as_const(results.foundNames)) {
        out += name;
        out += end;
    }
    // The name goes in as raw bytes, so the translated line is cut where it stands.
    const QString leftFormat =
        QCoreApplication::translate("CommandLine", "Left unchanged: %1 (%2)");
    for (const LeftUnchanged& left : std::as_const(results.leftUnchanged)) {
        const QString line =
            QString(leftFormat).replace(QLatin1String("%2"), ReasonText(left.reason));
        const qsizetype at = line.indexOf(QLatin1String("%1"));
        err += line.left(at).toUtf8() + left.name + line.mid(at + 2).toUtf8() + '\n';
    }
    const bool stopped = stop && *stop;
    if (stopped) {
        err += MessageLine(
            QCoreApplication::translate("CommandLine", "stopped before every file was processed"));
    }
    if (stopped || !results.leftUnchanged.isEmpty()) {
        return ExitStatus::LeftAlone;
    }
    return results.FilesAffected > 0 ? ExitStatus::AllHandled : ExitStatus::NoneHeld;
}
