// Fitting a text into the room the layout gives it. The layout is designed for one font;
// where the desktop's font is wider, a caption would be cut, so its control gets a
// smaller font of its own instead, in half-point steps and never below a floor.
#pragma once

#include <QFont>
#include <QString>
#include <functional>

class QLabel;
class QWidget;

// The largest size of `font`, in half-point steps down from its own size and not below
// `smallestPointSize`, at which `widthAt(font)` is at most `available`. A font that fits
// comes back unchanged; where even the floor does not fit, the floor is returned.
QFont FitFont(QFont font, int available, double smallestPointSize,
              const std::function<int(const QFont&)>& widthAt);

// FitFont for a control whose needed width is measured on the control itself (a check
// box's size hint depends on the font it has): each smaller step is set on the control
// before it is measured. A control that already fits keeps the font it inherits.
void ShrinkWidgetFont(QWidget* widget, QFont start, int available, double smallestPointSize,
                      const std::function<int()>& neededWidth);

// Sets a run-time text on a label, in the label's parent's font or, where that is too
// wide for the label, in the largest half-point step down to `smallestPointSize` that fits.
void SetFittedText(QLabel* label, const QString& text, double smallestPointSize);
