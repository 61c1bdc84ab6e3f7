// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program as the benchmark times it: the real window on Qt's offscreen platform
// (or on the platform QT_QPA_PLATFORM names), started in the corpus folder, with the message
// boxes answered by a script (Yes to the confirmation, No to highlighting, OK to the summary)
// and Process clicked; it prints the files affected and processed, and the seconds from Yes to
// the highlighting offer (0 without either). Or, for the highlighting row, the file list alone on
// a shown window: ten of every eleven entries of the folder count as hits, and the time from
// Yes to the repainted list is printed in seconds. Or, for the keystroke rows, the window with
// its list shown, then keys typed into the filter box: it prints the seconds from the start of
// the program to the first paint of the window with its names, from one key to the repainted
// list, and from the last of five keys typed 30 ms apart to the repainted list.
//
//   quillmark_window_bench CASE_SENSITIVE FIND_ONLY      (run in the corpus folder)
//   quillmark_window_bench highlight                      (run in the corpus folder)
//   quillmark_window_bench keys                           (run in the corpus folder)

#include "filelistbox.h"
#include "foundfiles.h"
#include "frmmain.h"
#include "mappedfile.h"
#include "msgboxstyle.h"
#include "scriptedmessagebox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <unistd.h>

namespace {

// Highlights ten of every eleven entries of the current folder's list, the misses spread
// evenly as in a folder where most files hold the text, and prints the seconds it took, the
// repaint that shows the selection included.
int TimeHighlighting() {
    QWidget window;
    window.resize(400, 300);
    auto* list = new FileListBox(&window);
    list->setGeometry(10, 10, 226, 149);
    window.show();
    QApplication::processEvents();

    RunResults results;
    for (int i = 0; i < list->ListCount(); ++i) {
        if (i % 11 == 10) {
            continue;
        }
        const QByteArray name = list->List(i);
        ++results.FilesAffected;
        results.foundNames.append(name);
    }
    results.FilesProcessed = list->ListCount();
    // As after a run: the current-entry mark on the last entry.
    list->SetListIndex(list->ListCount() - 1);
    QApplication::processEvents();

    const auto start = std::chrono::steady_clock::now();
    HighlightFoundFiles(*list, results);
    QApplication::processEvents();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    // Counted by ranges: asking entry by entry costs entries times ranges.
    int selected = 0;
    for (const QItemSelectionRange& range : list->selectionModel()->selection()) {
        selected += range.height();
    }
    if (selected != results.FilesAffected) {
        std::fprintf(stderr, "%d of %d hits selected\n", selected, results.FilesAffected);
        return 1;
    }
    std::printf("%d %.6f\n", selected, seconds);
    return 0;
}

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Types key into box as a user would, and lets the window handle it and repaint.
void Type(QLineEdit* box, QWidget& window, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(box, &release);
    QApplication::processEvents();
    window.repaint();
}

// The window in the current folder: the seconds from start to its first paint with the names
// listed, from one key in the filter box to the repainted list, and from the last of five keys
// 30 ms apart to the list repainted after it.
int TimeKeys(Clock::time_point start) {
    frmMain window;
    window.show();
    QApplication::processEvents();
    auto* list = qobject_cast<FileListBox*>(window.Control("filFolder"));
    // A list filled off the window's thread has its names once they are shown.
    while (list->ListCount() == 0 && Since(start) < 60) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    window.repaint();
    const double painted = Since(start);
    const int listed = list->ListCount();

    auto* box = qobject_cast<QLineEdit*>(window.Control("txtFilePattern"));
    box->setFocus();
    box->end(false);
    const auto oneKey = Clock::now();
    Type(box, window, Qt::Key_Backspace, QString());  // "...;*.xm": every .txt stays listed
    const double key = Since(oneKey);

    const auto typing = Clock::now();
    const QString keys = QStringLiteral("l;*.a");
    for (int i = 0; i < keys.size(); ++i) {
        // A key that comes while the last is handled waits for it, as in the event queue.
        const auto due = typing + std::chrono::milliseconds(30 * i);
        std::this_thread::sleep_until(due);
        Type(box, window, keys[i].unicode(), keys.mid(i, 1));
    }
    const double settled = Since(typing + std::chrono::milliseconds(30 * (keys.size() - 1)));
    if (list->ListCount() != listed || listed == 0) {
        std::fprintf(stderr, "%d names listed, then %d\n", listed, list->ListCount());
        return 1;
    }
    std::printf("%d %.6f %.6f %.6f\n", listed, painted, key, settled);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const auto start = Clock::now();
    MappedFile::InstallBusErrorHandler();
    const bool highlight = argc == 2 && std::strcmp(argv[1], "highlight") == 0;
    const bool keys = argc == 2 && std::strcmp(argv[1], "keys") == 0;
    if (argc != 3 && !highlight && !keys) {
        std::fprintf(stderr, "usage: %s CASE_SENSITIVE FIND_ONLY | %s highlight | %s keys\n",
                     argv[0], argv[0], argv[0]);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Qt wants a private runtime folder; without one it warns on every start.
    char runtime[] = "/tmp/quillmark-runtime-XXXXXX";
    const bool ownRuntime = !std::getenv("XDG_RUNTIME_DIR") && ::mkdtemp(runtime);
    if (ownRuntime) {
        ::setenv("XDG_RUNTIME_DIR", runtime, 1);
    }
    QApplication app(argc, argv);
    if (highlight || keys) {
        const int status = keys ? TimeKeys(start) : TimeHighlighting();
        if (ownRuntime) {
            QDir(QString::fromLocal8Bit(runtime)).removeRecursively();
        }
        return status;
    }
    // Yes to a Yes/No confirmation, No to the highlighting offer, OK to the rest; noting when
    // it answered Yes and when the offer came.
    std::chrono::steady_clock::time_point answeredYes;
    std::chrono::steady_clock::time_point offered;
    ScriptedMessageBox answers;
    answers.answerFor = [&](const ScriptedMessageBox::Call& call) {
        if (!MsgBoxStyle::FromFlags(call.flags).buttons.contains(MsgBoxResult::Yes)) {
            return MsgBoxResult::OK;
        }
        if (call.title == QStringLiteral("Highlight?")) {
            offered = std::chrono::steady_clock::now();
            return MsgBoxResult::No;
        }
        answeredYes = std::chrono::steady_clock::now();
        return MsgBoxResult::Yes;
    };
    frmMain::Services services;
    services.messages = &answers;
    frmMain window(services);
    window.show();

    qobject_cast<QPlainTextEdit*>(window.Control("txtFind"))->setPlainText("needle");
    qobject_cast<QPlainTextEdit*>(window.Control("txtReplace"))->setPlainText("thread");
    qobject_cast<QCheckBox*>(window.Control("chkCaseSensitive"))
        ->setChecked(std::strcmp(argv[1], "1") == 0);
    qobject_cast<QCheckBox*>(window.Control("chkFind"))->setChecked(std::strcmp(argv[2], "1") == 0);
    qobject_cast<QAbstractButton*>(window.Control("cmdProcess"))->click();

    const RunResults& results = window.Results();
    const std::chrono::steady_clock::time_point never{};
    const double seconds = offered == never || answeredYes == never
                               ? 0
                               : std::chrono::duration<double>(offered - answeredYes).count();
    std::printf("%d %d %.6f\n", results.FilesAffected, results.FilesProcessed, seconds);
    if (ownRuntime) {
        QDir(QString::fromLocal8Bit(runtime)).removeRecursively();
    }
    return 0;
}
