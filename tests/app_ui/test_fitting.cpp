// The font fitting of the window's captions and the repaint throttle of its live views.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QWidget>

#include "app/fontfit.h"
#include "app/repaintthrottle.h"

namespace {

QFont AtSize(double points) {
  QFont f;
  f.setPointSizeF(points);
  return f;
}

// A width proportional to the size: 10 pixels a point.
int TenPerPoint(const QFont& f) { return static_cast<int>(f.pointSizeF() * 10); }

}  // namespace

TEST(FitFont, StepsDownInHalfPointsToTheLargestSizeThatFitsAndNotBelowTheFloor) {
  EXPECT_DOUBLE_EQ(FitFont(AtSize(8), 80, 5, TenPerPoint).pointSizeF(), 8.0);  // fits as it is
  EXPECT_DOUBLE_EQ(FitFont(AtSize(8), 65, 5, TenPerPoint).pointSizeF(), 6.5);  // exactly
  EXPECT_DOUBLE_EQ(FitFont(AtSize(8), 69, 5, TenPerPoint).pointSizeF(), 6.5);  // 7 would not fit
  EXPECT_DOUBLE_EQ(FitFont(AtSize(8), 10, 5, TenPerPoint).pointSizeF(), 5.0);  // floor
  EXPECT_DOUBLE_EQ(FitFont(AtSize(8), 10, 6, TenPerPoint).pointSizeF(), 6.0);
  // A font already below the floor is left as it is.
  EXPECT_DOUBLE_EQ(FitFont(AtSize(4), 10, 5, TenPerPoint).pointSizeF(), 4.0);
  // The other attributes of the font stay.
  QFont bold = AtSize(8);
  bold.setBold(true);
  EXPECT_TRUE(FitFont(bold, 65, 5, TenPerPoint).bold());
}

TEST(FitFont, ARealTextFitsInTheRealFontsMetrics) {
  const QString text = QStringLiteral("Flugnummer: 1234  Datensätze: 65535");
  const QFont start = AtSize(12);
  const int full = QFontMetrics(start).horizontalAdvance(text);
  const int room = full * 2 / 3;
  auto width = [&text](const QFont& f) { return QFontMetrics(f).horizontalAdvance(text); };
  const QFont fitted = FitFont(start, room, 3, width);
  EXPECT_LT(fitted.pointSizeF(), 12.0);
  EXPECT_LE(width(fitted), room);
  QFont halfLarger = fitted;
  halfLarger.setPointSizeF(fitted.pointSizeF() + 0.5);
  EXPECT_GT(width(halfLarger), room);
}

TEST(ShrinkWidgetFont, AControlThatFitsKeepsFollowingItsParentsFont) {
  QWidget parent;
  parent.setFont(AtSize(8));
  QWidget roomy(&parent), tight(&parent);
  auto need = [](QWidget* w) { return [w] { return TenPerPoint(w->font()); }; };
  ShrinkWidgetFont(&roomy, roomy.font(), 100, 5, need(&roomy));
  ShrinkWidgetFont(&tight, tight.font(), 62, 5, need(&tight));
  // Only the control that had to shrink has a font of its own; the other one still takes
  // the parent's font when the window is scaled.
  EXPECT_FALSE(roomy.testAttribute(Qt::WA_SetFont));
  EXPECT_TRUE(tight.testAttribute(Qt::WA_SetFont));
  EXPECT_DOUBLE_EQ(tight.font().pointSizeF(), 6.0);
  parent.setFont(AtSize(10));
  EXPECT_DOUBLE_EQ(roomy.font().pointSizeF(), 10.0);
  EXPECT_DOUBLE_EQ(tight.font().pointSizeF(), 6.0);
}

TEST(SetFittedText, ALongTextShrinksAndAShortOneReturnsToTheParentsFont) {
  QWidget parent;
  parent.setFont(AtSize(10));
  QLabel label(&parent);
  const QString longText = QStringLiteral("EEPROM: 64 kByte, davon 63 kByte belegt");
  label.resize(QFontMetrics(AtSize(10)).horizontalAdvance(longText) * 3 / 4, 13);

  SetFittedText(&label, longText, 6);
  EXPECT_EQ(label.text(), longText);
  EXPECT_LT(label.font().pointSizeF(), 10.0);
  EXPECT_LE(QFontMetrics(label.font()).horizontalAdvance(longText), label.width());

  // The next text starts again from the parent's font, not from the shrunk one.
  SetFittedText(&label, QStringLiteral("EEPROM"), 6);
  EXPECT_DOUBLE_EQ(label.font().pointSizeF(), 10.0);

  label.resize(5, 13);
  SetFittedText(&label, longText, 6);
  EXPECT_DOUBLE_EQ(label.font().pointSizeF(), 6.0);
  EXPECT_EQ(label.text(), longText);
}

namespace {

struct ManualClock {
  RepaintThrottle::Clock::time_point now{};
  void Advance(int ms) { now += std::chrono::milliseconds(ms); }
  std::function<RepaintThrottle::Clock::time_point()> Reader() {
    return [this] { return now; };
  }
};

}  // namespace

TEST(RepaintThrottle, PaintsAtMostOnceInEachIntervalAndRemembersWhatItHeldBack) {
  ManualClock clock;
  RepaintThrottle throttle(clock.Reader());
  EXPECT_TRUE(throttle.Due());  // the first paint, whatever the clock says
  EXPECT_FALSE(throttle.Pending());
  clock.Advance(15);
  EXPECT_FALSE(throttle.Due());
  EXPECT_TRUE(throttle.Pending());
  clock.Advance(1);  // 16 ms after the last paint
  EXPECT_TRUE(throttle.Due());
  EXPECT_FALSE(throttle.Pending());
  // A forced paint starts the interval again.
  clock.Advance(10);
  throttle.Painted();
  clock.Advance(10);
  EXPECT_FALSE(throttle.Due());
  throttle.Painted();  // the held-back change goes out with the forced paint
  EXPECT_FALSE(throttle.Pending());
  clock.Advance(16);
  EXPECT_TRUE(throttle.Due());
}

TEST(RepaintThrottle, AChangeEveryMillisecondIsPaintedAboutSixtyTimesASecond) {
  ManualClock clock;
  RepaintThrottle throttle(clock.Reader());
  int paints = 0;
  for (int ms = 0; ms < 1000; ++ms) {
    if (throttle.Due()) ++paints;
    clock.Advance(1);
  }
  EXPECT_EQ(paints, 63);  // at 0, 16, 32, ... 992 ms
  // Changes further apart than the interval are each painted.
  paints = 0;
  for (int i = 0; i < 10; ++i) {
    clock.Advance(20);
    if (throttle.Due()) ++paints;
  }
  EXPECT_EQ(paints, 10);
}
