// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <memory>

class EventPump;
class LegacyEncoding;

// What the program's arguments ask for, read without any application object so that the
// modes without a window need no display.
struct CommandLine {
    enum class Mode {
        Window,      // open the window, on folder when it is not empty
        Help,        // print the usage and exit 0
        Version,     // print the version and exit 0
        Run,         // a find or replace without a window
        UsageError,  // print error and exit 2
        Refused,     // print error alone and exit 2
    };

    Mode mode = Mode::Window;
    // Window: the folder to open, or empty for the current one. Run: the folder to process.
    QByteArray folder;
    QByteArray findText;  // taken as given: UTF-8 bytes, line breaks included
    QByteArray replaceText;
    bool replace = false;  // false: find mode
    bool caseSensitive = false;
    QString filter;  // the file list's filter text; the window's start filter unless given
    bool nulEnded = false;
    bool hidden = false;      // names starting with "." are listed too
    bool dryRun = false;      // replace mode: print a unified diff of the changes, write nothing
    bool lines = false;       // find mode: print each line on which an occurrence starts
    QList<QByteArray> names;  // when not empty, only these entries are processed
    QString error;            // UsageError, Refused: what is wrong, one line
    // The encoding of files that are neither UTF-8 nor UTF-16 (--legacy-encoding); null for
    // Windows-1252. The window takes it too.
    std::shared_ptr<const LegacyEncoding> legacy;

    // Reads arguments (without the program's name). Any of --help, --version or --find
    // chooses a mode without a window; otherwise at most one folder is taken for the window.
    // The file of --find-file or --replace-file is read here, standard input for "-"; one
    // that cannot be read is Refused.
    static CommandLine Parse(const QList<QByteArray>& arguments);
    // Whether arguments ask for the window: none of them before "--" is "-h" or starts with
    // "--", but for --legacy-encoding. The window's application object may then take its own
    // options ("-style ...") out of them before Parse reads the rest.
    static bool WantsWindow(const QList<QByteArray>& arguments);
};

// The exit statuses of a run without a window. Every failure is 2, as grep has it.
namespace ExitStatus {
inline constexpr int AllHandled = 0;  // some file held the text; each was found or altered
inline constexpr int NoneHeld = 1;    // no file held the text
inline constexpr int LeftAlone = 2;   // a file that held the text was left unchanged
// The run or the printing ended early: a stop, a failed standard output, a lack of memory.
inline constexpr int Unfinished = 2;
inline constexpr int UsageError = 2;  // the arguments ask for nothing that can be done
// Nothing was touched: the legacy encoding, the filter, the folder or a NAME was refused.
inline constexpr int Refused = 2;
}  // namespace ExitStatus

// The usage text that --help prints.
QString CommandLineUsage();
// The line that --version prints, ending in a line break.
QString CommandLineVersion();

// Where a run without a window writes what standard output and standard error get.
class CommandLineOutput {
public:
    virtual ~CommandLineOutput() = default;
    // Writes bytes to standard output before it returns. Returns 0, or the errno of the
    // write that failed.
    virtual int Out(QByteArrayView bytes) = 0;
    // Writes bytes to standard error before it returns; a failure there cannot be told.
    virtual void Err(QByteArrayView bytes) = 0;
};

// Carries out request (Help, Version, Run or UsageError) without a window over the real disk:
// writes to standard output the names found or altered (raw bytes, each ended by a line break
// or by NUL), each as soon as its file is found or its save is done, and to standard error
// "Left unchanged: NAME (reason)" lines, as soon as each is known, and messages. Returns the
// exit status. pump is called between files; when stop points at true the run ends after the
// file in hand and the exit status is 2. When standard output fails, nothing more is written
// to it: the run ends after the file in hand, standard error says why, and the status is 2.
// An exception inside the run ends it the same way, the file in hand named with its reason.
int RunCommandLine(const CommandLine& request, CommandLineOutput& output, EventPump* pump = nullptr,
                   const bool* stop = nullptr);
// The same, with what standard output and standard error would get gathered in out and err.
int RunCommandLine(const CommandLine& request, QByteArray& out, QByteArray& err,
                   EventPump* pump = nullptr, const bool* stop = nullptr);
