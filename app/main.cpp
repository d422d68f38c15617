#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QMainWindow w;
    w.setWindowTitle(QObject::tr("RO Vezovad"));
    w.show();
    return app.exec();
}
