#include "applicationrecord.h"
#include "frmmain.h"
#include "stopsignals.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    StopSignals::Install();
    QApplication app(argc, argv);
    ApplicationRecord::Install();
    frmMain window;
    window.show();
    return QApplication::exec();
}
