#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillmark"));
    QWidget window;
    window.setWindowTitle(QStringLiteral("Quillmark"));
    window.setFixedSize(571, 511);
    window.show();
    return QApplication::exec();
}
