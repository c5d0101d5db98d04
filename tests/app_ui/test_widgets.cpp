// The custom controls and the image canvas.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>

#include "app/imagecanvas.h"
#include "app/widgets.h"
#include "frontend/userio.h"

namespace {

void Type(QWidget* w, const QString& keys) {
  for (QChar c : keys) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &release);
  }
}

void Backspace(QWidget* w) {
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
  QApplication::sendEvent(w, &press);
}

}  // namespace

TEST(RadioGroupTest, ClickOnlyOnRealChangesByProgramAndUser) {
  RadioGroup g("Abtastrate", {"a", "b", "c"});
  g.setGeometry(0, 0, 121, 57);
  int clicks = 0;
  int seenIndex = -2;
  QObject::connect(&g, &RadioGroup::Click, [&] {
    ++clicks;
    seenIndex = g.ItemIndex();
  });
  EXPECT_EQ(g.ItemIndex(), -1);

  g.SetItemIndex(1);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(seenIndex, 1);  // the handler sees the new selection
  EXPECT_TRUE(g.button(1)->isChecked());
  g.SetItemIndex(1);
  EXPECT_EQ(clicks, 1);

  g.button(2)->click();  // the user picks another item
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(g.ItemIndex(), 2);
  EXPECT_FALSE(g.button(1)->isChecked());
  g.button(2)->click();  // and the same one again
  EXPECT_EQ(clicks, 2);

  g.SetItemIndex(-1);
  EXPECT_EQ(clicks, 3);
  EXPECT_EQ(seenIndex, -1);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(g.button(i)->isChecked());
  g.SetItemIndex(-1);
  g.SetItemIndex(7);  // out of range means none
  EXPECT_EQ(clicks, 3);

  g.button(0)->click();
  EXPECT_EQ(clicks, 4);
  EXPECT_EQ(g.ItemIndex(), 0);
}

TEST(MaskEditTest, OnlyThreeDigitsAndChangeOnEveryTextChange) {
  MaskEdit3 e;
  int changes = 0;
  QObject::connect(&e, &MaskEdit3::Change, [&] { ++changes; });
  e.show();
  e.setFocus();
  Type(&e, "1a2-3 45");
  EXPECT_EQ(e.text(), QString("123"));
  EXPECT_EQ(changes, 3);
  Backspace(&e);
  EXPECT_EQ(e.text(), QString("12"));
  EXPECT_EQ(changes, 4);
  e.setText("042");  // by the program
  EXPECT_EQ(changes, 5);
  e.setText("042");
  EXPECT_EQ(changes, 5);
  e.setText("");
  EXPECT_EQ(changes, 6);
  e.setText("98765");
  EXPECT_EQ(e.text(), QString("987"));
}

TEST(StatusBarTest, PanelsAndColourOfTheWholeBar) {
  StatusBar bar;
  bar.setGeometry(0, 0, 641, 28);
  bar.SetPanelText(0, "offline");
  bar.SetPanelText(1, "loggerstatus");
  EXPECT_EQ(bar.PanelText(0), QString("offline"));
  EXPECT_EQ(bar.PanelText(1), QString("loggerstatus"));
  EXPECT_EQ(bar.PanelText(2), QString());
  EXPECT_EQ(bar.PanelRect(0).width(), 70);
  EXPECT_EQ(bar.PanelRect(1).right(), 640);  // the last panel reaches the right edge
  EXPECT_GT(bar.PanelRect(1).left(), bar.PanelRect(0).right());

  EXPECT_EQ(bar.Color(), clBtnFace);
  bar.SetColor(StatusColorSuccess);
  EXPECT_EQ(bar.Color(), StatusColorSuccess);
  QImage img = bar.grab().toImage();
  // Inside panel 1, far from the text, and at the bar's top edge.
  EXPECT_EQ(QColor(img.pixel(600, 14)), QColor(172, 252, 178));
  EXPECT_EQ(QColor(img.pixel(300, 0)), QColor(172, 252, 178));
  bar.SetColor(StatusColorFailure);
  img = bar.grab().toImage();
  EXPECT_EQ(QColor(img.pixel(600, 14)), QColor(255, 218, 218));
  bar.SetColor(clBtnFace);
  img = bar.grab().toImage();
  EXPECT_EQ(QColor(img.pixel(600, 14)), QApplication::palette().color(QPalette::Button));
}

TEST(ImageCanvasTest, LinesLeaveOutTheirEndPoint) {
  ImageCanvas c(20, 10);
  EXPECT_EQ(c.Width(), 20);
  EXPECT_EQ(c.Height(), 10);
  c.FillRect(0, 0, 20, 10, GraphWhite);
  c.SetPenColor(GraphBlack);
  c.MoveTo(2, 3);
  c.LineTo(7, 3);
  for (int x = 0; x < 20; ++x)
    EXPECT_EQ(QColor(c.Image().pixel(x, 3)),
              x >= 2 && x < 7 ? QColor(Qt::black) : QColor(Qt::white))
        << x;
  EXPECT_EQ(c.PenX(), 7);
  EXPECT_EQ(c.PenY(), 3);
  // A polyline continues from the end point, which the next segment draws.
  c.LineTo(7, 6);
  EXPECT_EQ(QColor(c.Image().pixel(7, 3)), QColor(Qt::black));
  EXPECT_EQ(QColor(c.Image().pixel(7, 5)), QColor(Qt::black));
  EXPECT_EQ(QColor(c.Image().pixel(7, 6)), QColor(Qt::white));
  // A diagonal touches one pixel per column.
  c.FillRect(0, 0, 20, 10, GraphWhite);
  c.MoveTo(0, 0);
  c.LineTo(8, 4);
  int black = 0;
  for (int x = 0; x < 20; ++x)
    for (int y = 0; y < 10; ++y)
      if (QColor(c.Image().pixel(x, y)) == QColor(Qt::black)) ++black;
  EXPECT_EQ(black, 8);
  EXPECT_EQ(QColor(c.Image().pixel(0, 0)), QColor(Qt::black));
  EXPECT_EQ(QColor(c.Image().pixel(8, 4)), QColor(Qt::white));
  // Lines running off the image are clipped, not a crash.
  c.MoveTo(-50, -50);
  c.LineTo(100, 100);
  c.MoveTo(5, 5);
  c.LineTo(5, 5);  // zero length draws nothing
}

TEST(ImageCanvasTest, InvertingPenTwiceRestores) {
  ImageCanvas c(10, 10);
  c.FillRect(0, 0, 10, 10, GraphWhite);
  c.FillRect(0, 0, 10, 5, 0x336699);
  const QImage before = c.Image().copy();
  c.SetPenInvert(true);
  for (int col = 0; col <= 4; ++col) {
    c.MoveTo(col, 2);
    c.LineTo(col, 10);
  }
  EXPECT_EQ(QColor(c.Image().pixel(1, 7)), QColor(Qt::black));  // white inverted
  EXPECT_EQ(QColor(c.Image().pixel(1, 3)), QColor(0xFF - 0x99, 0xFF - 0x66, 0xFF - 0x33));
  EXPECT_EQ(QColor(c.Image().pixel(1, 1)), QColor(0x99, 0x66, 0x33));  // above the band
  EXPECT_EQ(QColor(c.Image().pixel(5, 7)), QColor(Qt::white));
  EXPECT_NE(c.Image(), before);
  for (int col = 0; col <= 4; ++col) {
    c.MoveTo(col, 2);
    c.LineTo(col, 10);
  }
  EXPECT_EQ(c.Image(), before);
}

TEST(ImageCanvasTest, ColoursAreBlueGreenRed) {
  EXPECT_EQ(RgbFromBGR(GraphBlue) & 0xFFFFFF, 0x0000FFu);  // QRgb is 0xAARRGGBB
  ImageCanvas c(4, 4);
  c.FillRect(0, 0, 4, 2, GraphBlue);
  c.FillRect(0, 2, 4, 4, 0x0000FF);
  EXPECT_EQ(QColor(c.Image().pixel(1, 1)), QColor(0, 0, 255));
  EXPECT_EQ(QColor(c.Image().pixel(1, 3)), QColor(255, 0, 0));
  c.SetPenColor(StatusColorSuccess);
  c.MoveTo(0, 0);
  c.LineTo(2, 0);
  EXPECT_EQ(QColor(c.Image().pixel(0, 0)), QColor(172, 252, 178));
  EXPECT_EQ(ColorFromBGR(clBtnFace), QApplication::palette().color(QPalette::Button));
  // The fill takes [left, right) x [top, bottom) and clips.
  c.FillRect(-3, -3, 1, 1, 0x00FF00);
  EXPECT_EQ(QColor(c.Image().pixel(0, 0)), QColor(0, 255, 0));
  EXPECT_EQ(QColor(c.Image().pixel(1, 0)), QColor(172, 252, 178));
}

TEST(ImageCanvasTest, TextIsBlackAndFlushRepaints) {
  ImageCanvas c(80, 30);
  c.FillRect(0, 0, 80, 30, GraphWhite);
  c.TextOut(10, 5, "Höhe");
  int dark = 0;
  int outside = 0;
  for (int x = 0; x < 80; ++x)
    for (int y = 0; y < 30; ++y) {
      const QColor p(c.Image().pixel(x, y));
      if (p.lightness() < 128) (x >= 10 && y >= 5 ? ++dark : ++outside);
    }
  EXPECT_GT(dark, 10);
  EXPECT_EQ(outside, 0);

  PaintBox box;
  box.resize(473, 137);
  EXPECT_EQ(box.Surface().size(), QSize(473, 137));
  int flushes = 0;
  ImageCanvas screen(&box.Surface(), [&] {
    ++flushes;
    box.RepaintNow();
  });
  EXPECT_EQ(screen.Width(), 473);
  screen.FillRect(0, 0, 473, 137, GraphBlue);
  screen.Flush();
  EXPECT_EQ(flushes, 1);
  EXPECT_EQ(QColor(box.grab().toImage().pixel(200, 60)), QColor(0, 0, 255));
}
