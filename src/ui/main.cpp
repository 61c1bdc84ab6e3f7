#include "applicationrecord.h"
#include "frmmain.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    ApplicationRecord::Install();
    frmMain window;
    window.show();
    return QApplication::exec();
}
