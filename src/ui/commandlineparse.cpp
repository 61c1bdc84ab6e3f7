// SPDX-License-Identifier: GPL-3.0-or-later
// How the program's arguments are read, and the texts --help and --version print.
#include "commandline.h"

#include "applicationversion.h"
#include "filepattern.h"
#include "textdecoding.h"

#include <QCoreApplication>
#include <QFile>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The filter the window's filter box starts with.
QString StartFilter() {
    return QString::fromLatin1(kDefaultFilter);
}

// The options that take a value, as "--name VALUE" or "--name=VALUE".
const QList<QByteArray> kValueOptions = {"--find",         "--replace", "--find-file",
                                         "--replace-file", "--filter",  "--legacy-encoding"};

QString Shown(const QByteArray& bytes) {
    return QFile::decodeName(bytes);
}

CommandLine UsageError(const QString& error) {
    CommandLine request;
    request.mode = CommandLine::Mode::UsageError;
    request.error = error;
    return request;
}

CommandLine Refused(const QString& error) {
    CommandLine request;
    request.mode = CommandLine::Mode::Refused;
    request.error = error;
    return request;
}

// Reads the whole of the file at path, or of standard input for "-", into text, without its
// one final line break ("\n" or "\r\n") when it ends in one. On failure returns false with
// the system's description in error.
bool ReadText(const QByteArray& path, QByteArray& text, QString& error) {
    const bool standardInput = path == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    text.clear();
    int failed = fd < 0 ? errno : 0;
    char buffer[65536];
    while (failed == 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failed = n < 0 ? errno : 0;
            break;
        }
        text.append(buffer, n);
    }
    if (fd >= 0 && !standardInput) {
        ::close(fd);
    }
    if (failed != 0) {
        error = QString::fromLocal8Bit(std::strerror(failed));
        return false;
    }
    if (text.endsWith("\r\n")) {
        text.chop(2);
    } else if (text.endsWith('\n')) {
        text.chop(1);
    }
    return true;
}

}  // namespace

CommandLine CommandLine::Parse(const QList<QByteArray>& arguments) {
    CommandLine request;
    request.filter = StartFilter();
    QList<QByteArray> positional;
    bool withoutWindow = false;
    // Each text's option as given ("--find" or "--find-file", ...), and its value.
    QByteArray findOption;
    QByteArray replaceOption;
    QByteArray findValue;
    QByteArray replaceValue;
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
        bool* flag = argument == "--case-sensitive" ? &request.caseSensitive
                     : argument == "--null"         ? &request.nulEnded
                     : argument == "--hidden"       ? &request.hidden
                     : argument == "--dry-run"      ? &request.dryRun
                     : argument == "--lines"        ? &request.lines
                                                    : nullptr;
        if (flag) {
            *flag = true;
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
                return Refused(error);
            }
            continue;
        }
        withoutWindow = true;
        if (option == "--filter") {
            request.filter = QString::fromUtf8(value);
            continue;
        }
        const bool find = option.startsWith("--find");
        QByteArray& given = find ? findOption : replaceOption;
        if (!given.isEmpty() && given != option) {
            return UsageError(
                QCoreApplication::translate("CommandLine", "%1 and %2 cannot be given together")
                    .arg(QString::fromLatin1(given), QString::fromLatin1(option)));
        }
        given = option;
        (find ? findValue : replaceValue) = value;
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
    if (findOption.isEmpty()) {
        return UsageError(QCoreApplication::translate("CommandLine", "--find TEXT is needed"));
    }
    request.replace = !replaceOption.isEmpty();
    if (request.dryRun && !request.replace) {
        return UsageError(QCoreApplication::translate("CommandLine", "--dry-run needs --replace"));
    }
    if (request.lines && request.replace) {
        return UsageError(
            QCoreApplication::translate("CommandLine", "--lines is for a find, without --replace"));
    }
    if (findOption.endsWith("-file") && findValue == "-" && replaceOption.endsWith("-file") &&
        replaceValue == "-") {
        return UsageError(QCoreApplication::translate(
            "CommandLine", "standard input can give only one of the texts"));
    }
    // The texts' files are read last: a usage error reads nothing from standard input.
    for (const bool find : {true, false}) {
        const QByteArray& value = find ? findValue : replaceValue;
        QByteArray& text = find ? request.findText : request.replaceText;
        QString error;
        if (!(find ? findOption : replaceOption).endsWith("-file")) {
            text = value;
        } else if (!ReadText(value, text, error)) {
            return Refused(QCoreApplication::translate("CommandLine", "cannot read \"%1\": %2")
                               .arg(Shown(value), error));
        }
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
               "       quillmark {--find TEXT | --find-file FILE}\n"
               "                 [{--replace TEXT | --replace-file FILE} [--dry-run]] [--lines]\n"
               "                 [--case-sensitive] [--filter PATTERNS] [--hidden] [--null]\n"
               "                 [--legacy-encoding NAME] FOLDER [NAME...]\n"
               "\n"
               "Without --find, opens the window on FOLDER (or on the current folder).\n"
               "\n"
               "With --find, runs without a window over the files of FOLDER that pass the\n"
               "filter, or only over the NAMEs given, which must be among them:\n"
               "  --find TEXT         the text to search for, taken as given (UTF-8)\n"
               "  --find-file FILE    the text to search for, as FILE holds it without one\n"
               "                      final line break; \"-\" reads standard input\n"
               "  --replace TEXT      replace every occurrence with TEXT, without asking;\n"
               "                      without it, only report the files that hold the text\n"
               "  --replace-file FILE the replacement, read as --find-file reads its text\n"
               "  --dry-run           with --replace: write nothing, print as a unified diff\n"
               "                      what the replace would change\n"
               "  --lines             without --replace: print each line on which an\n"
               "                      occurrence starts, as NAME:LINE:TEXT\n"
               "  --case-sensitive    match case exactly; by default case is ignored (Unicode\n"
               "                      simple case folding)\n"
               "  --filter PATTERNS   file-name patterns separated by \";\"\n"
               "                      (default \"%1\")\n"
               "  --hidden            include files whose names start with \".\", which are\n"
               "                      left out by default and never shown in the window\n"
               "  --null              end each printed name with NUL, not a line break\n"
               "  --legacy-encoding NAME\n"
               "                      the single-byte encoding of files that are neither\n"
               "                      UTF-8 nor UTF-16 (default windows-1252)\n"
               "  --help              print this text\n"
               "  --version           print the version\n"
               "\n"
               "Prints the name of each file found (or altered), in list order, as soon as\n"
               "it is found (or saved). A file that held the text but was left as it was is\n"
               "named on standard error with the reason; a replace never changes a file that\n"
               "holds a NUL byte (\"binary file\"), unless it is UTF-16. Exit status: 0 when\n"
               "every file that held the text was found or altered (or, with --dry-run,\n"
               "would be), 1 when no file held it or none passed the filter, 2 when a file\n"
               "was left unchanged, the run was stopped, standard output failed, memory ran\n"
               "out, or the request, the folder or the filter was refused.\n")
        .arg(StartFilter());
}

QString CommandLineVersion() {
    return QStringLiteral("Quillmark %1\n").arg(QString::fromLatin1(kVersionText));
}
