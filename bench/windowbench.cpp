// The whole program as the benchmark times it: the real window on Qt's offscreen platform,
// started in the corpus folder, with the message boxes answered by a script (Yes to the
// confirmation, No to highlighting, OK to the summary) and Process clicked.
//
//   quillmark_window_bench CASE_SENSITIVE FIND_ONLY      (run in the corpus folder)

#include "frmmain.h"
#include "messagebox.h"
#include "msgboxstyle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QPlainTextEdit>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

namespace {

// Answers Yes to a Yes/No confirmation, No to the highlighting offer, OK to the rest.
class ScriptedAnswers : public MessageBox {
public:
    int MsgBox(const QString&, int flags, const QString& title) override {
        if (!MsgBoxStyle::FromFlags(flags).buttons.contains(MsgBoxResult::Yes)) {
            return MsgBoxResult::OK;
        }
        return title == QStringLiteral("Highlight?") ? MsgBoxResult::No : MsgBoxResult::Yes;
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s CASE_SENSITIVE FIND_ONLY\n", argv[0]);
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Qt wants a private runtime folder; without one it warns on every start.
    char runtime[] = "/tmp/quillmark-runtime-XXXXXX";
    const bool ownRuntime = !std::getenv("XDG_RUNTIME_DIR") && ::mkdtemp(runtime);
    if (ownRuntime) {
        ::setenv("XDG_RUNTIME_DIR", runtime, 1);
    }
    QApplication app(argc, argv);
    ScriptedAnswers answers;
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
    std::printf("%d %d\n", results.FilesAffected, results.FilesProcessed);
    if (ownRuntime) {
        QDir(QString::fromLocal8Bit(runtime)).removeRecursively();
    }
    return 0;
}
