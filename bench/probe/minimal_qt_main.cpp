// The yardstick for start-up and memory: the smallest Qt Widgets program that shows a window
// with a line of text, so that it loads the fonts as every real window does. With "--bare" it
// shows an empty widget and loads no font at all.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  const bool bare = QCoreApplication::arguments().contains(QStringLiteral("--bare"));
  QLabel label(QStringLiteral("Skorvatin"));
  QWidget empty;
  QWidget& window = bare ? empty : label;
  window.resize(631, 567);
  window.show();
  return app.exec();
}
