// The smallest Qt Widgets program that shows a window: the yardstick for start-up and memory.
#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(631, 567);
  window.show();
  return app.exec();
}
