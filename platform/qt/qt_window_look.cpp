#include "platform/qt/qt_window_look.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPixmap>

#include <cstring>

#include "app/picture/form_pictures.h"

namespace kestrune::qt {

namespace {

QFont PixelFont(const QString& family, int pixels, bool bold) {
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixels);
  font.setBold(bold);
  return font;
}

}  // namespace

QString WindowFontFamily() {
  for (const char* family : {"Tahoma", "DejaVu Sans"}) {
    const QString name = QString::fromLatin1(family);
    if (QFontDatabase::hasFamily(name)) return name;
  }
  QFont fallback;
  fallback.setStyleHint(QFont::SansSerif);
  return fallback.defaultFamily();
}

int MeasureTextHeight(const QString& family) {
  return QFontMetrics(PixelFont(family, layout::kWindowFontPixels, false)).height();
}

WindowLook MakeWindowLook() {
  const QString family = WindowFontFamily();
  return MakeWindowLook(family, MeasureTextHeight(family));
}

WindowLook MakeWindowLook(const QString& family, int textHeight) {
  WindowLook look;
  look.textHeight = textHeight;
  look.layout = ScaleLayout(look.textHeight);
  look.clientWidth = look.layout.windowOuterWidth - kWindowsFrameWidth;
  look.clientHeight = look.layout.windowOuterHeight - kWindowsFrameHeight;
  look.windowFont = PixelFont(family, look.layout.windowFontPixels, false);
  look.labelFont = PixelFont(family, look.layout.labelFontPixels, true);
  return look;
}

QImage ToQImage(const std::optional<Picture>& given) {
  if (!given) return {};
  const Picture& picture = *given;
  if (picture.width <= 0 || picture.height <= 0) return {};
  const auto rowBytes = static_cast<std::size_t>(picture.width) * 4;
  if (picture.rgba.size() < rowBytes * static_cast<std::size_t>(picture.height)) return {};
  QImage image(picture.width, picture.height, QImage::Format_RGBA8888);
  if (image.isNull()) return {};
  for (int y = 0; y < picture.height; ++y) {
    std::memcpy(image.scanLine(y), picture.rgba.data() + rowBytes * static_cast<std::size_t>(y),
                rowBytes);
  }
  return image;
}

QIcon ProgramIcon() {
  const QImage image = ToQImage(DecodeProgramIcon());
  if (image.isNull()) return {};
  return QIcon(QPixmap::fromImage(image));
}

}  // namespace kestrune::qt
