// Prints the X clipboard's text as UTF-8. A Qt message box copies its
// title, text and buttons there on Ctrl+C (as Windows' boxes do), which is
// how the end-to-end tests read a box of another process.
#include <QClipboard>
#include <QGuiApplication>

#include <cstdio>

int main() {
  int argc = 1;
  char name[] = "clipboard_text";
  char* argv[] = {name, nullptr};
  QGuiApplication application(argc, argv);
  const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
  std::fwrite(text.constData(), 1, static_cast<std::size_t>(text.size()), stdout);
  return 0;
}
