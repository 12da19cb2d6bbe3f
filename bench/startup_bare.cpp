// The yardstick of startup.sh: a bare Qt Widgets window of the utility's
// size and flags, nothing in it.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window(nullptr, Qt::Window | Qt::FramelessWindowHint);
  window.setFixedSize(802, 602);
  window.show();
  return QApplication::exec();
}
