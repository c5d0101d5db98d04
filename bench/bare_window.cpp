// The yardstick of the start-up figure: a bare Qt Widgets program (a QApplication and one
// empty QMainWindow), started the same way as build/morvala.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QMainWindow window;
  window.setWindowTitle(QStringLiteral("BareQtWindow"));
  window.resize(640, 480);
  window.show();
  return app.exec();
}
