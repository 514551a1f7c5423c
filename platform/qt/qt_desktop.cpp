#include "platform/qt/qt_desktop.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "common/texts.h"
#include "platform/qt/qt_message_boxes.h"
#include "platform/qt/qt_text.h"

namespace kestrune::qt {

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool IsAddress(std::string_view target) {
  const auto colon = target.find(':');
  if (colon == std::string_view::npos || colon < 2 || !IsAsciiLetter(target[0])) return false;
  for (const char c : target.substr(1, colon - 1)) {
    const bool allowed = IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    if (!allowed) return false;
  }
  return true;
}

void QtDesktop::ShellOpen(const std::string& target) {
  if (target.empty()) return;
  if (!target.starts_with('/') && IsAddress(target)) {
    QDesktopServices::openUrl(QUrl(ToQString(target)));
    return;
  }
  const QFileInfo file(ToQString(target));
  if (file.isFile() && file.isExecutable()) {
    // The path as given, but never a bare name: QProcess would look that up
    // on PATH instead of running the file that is here.
    const QString program = file.filePath().contains(u'/') ? file.filePath()
                                                           : QStringLiteral("./") + file.filePath();
    QProcess::startDetached(program, {}, QDir::currentPath());
    return;
  }
  QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

void QtDesktop::OpenWebPage(const std::string& url) {
  if (url.empty()) return;
  QDesktopServices::openUrl(QUrl(ToQString(url)));
}

bool QtDesktop::Confirm(const std::string& text) { return AskYesNo(texts::kConfirmTitle, text); }

void QtDesktop::ShowInformation(const std::string& text) {
  ShowInformationBox(texts::kInformationTitle, text);
}

void QtDesktop::ShowError(const std::string& text) { ShowErrorBox(application_.Title(), text); }

}  // namespace kestrune::qt
