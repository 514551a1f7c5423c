// The least a Qt Widgets program does to put a window on the screen: the
// yardstick for the launcher's start-up time on Linux. With --text it also
// lays out one line of text, which is where Qt first starts fontconfig and
// FreeType; the launcher's window always has text, the bare one has none,
// so the two runs split that cost out of the difference.
#include <QApplication>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char** argv) {
  const bool withText = argc > 1 && std::strcmp(argv[1], "--text") == 0;
  int qtArgc = 1;
  QApplication application(qtArgc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("Bare Qt window"));
  window.resize(400, 300);
  if (withText) {
    auto* label = new QLabel(QStringLiteral("Bare Qt window with text"), &window);
    label->move(10, 10);
  }
  window.show();
  return QApplication::exec();
}
