// A bare Qt Widgets window of the quiz's size, for comparing start-up
// costs: what any Qt program pays before its first paint.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("bare window");
  window.setFixedSize(1180, 790);
  window.show();
  return QApplication::exec();
}
