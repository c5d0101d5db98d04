#include "app/fontfit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

namespace {
constexpr double kStep = 0.5;
}

QFont FitFont(QFont font, int available, double smallestPointSize,
              const std::function<int(const QFont&)>& widthAt) {
  while (widthAt(font) > available && font.pointSizeF() > smallestPointSize)
    font.setPointSizeF(font.pointSizeF() - kStep);
  return font;
}

void ShrinkWidgetFont(QWidget* widget, QFont start, int available, double smallestPointSize,
                      const std::function<int()>& neededWidth) {
  // The widget gets a font of its own only once it must shrink: until then it follows
  // its parent's font, also when the window is scaled.
  FitFont(std::move(start), available, smallestPointSize, [&](const QFont& f) {
    if (widget->font() != f) widget->setFont(f);
    return neededWidth();
  });
}

void SetFittedText(QLabel* label, const QString& text, double smallestPointSize) {
  const QFont base = label->parentWidget() ? label->parentWidget()->font() : label->font();
  label->setFont(FitFont(base, label->width(), smallestPointSize, [&text](const QFont& f) {
    return QFontMetrics(f).horizontalAdvance(text);
  }));
  label->setText(text);
}
