// The small custom controls of the main window: the two-panel status bar, the radio
// group with a caption, the three-digit masked edit and the paint box with its own
// screen surface. All geometry is absolute; nothing here uses layouts.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdint>
#include <vector>

// 0x00BBGGRR to a Qt colour; a value with the top bit set (clBtnFace) is the palette's
// button colour.
QColor ColorFromBGR(uint32_t value);

// Status bar with two panels: panel 0 has a fixed width, panel 1 runs to the right edge.
// The colour fills the whole bar. Assistive technology hears of every change of panel 1
// and of the colour at once; panel 0, which counts the records of a download, is
// announced at most a few times a second, and its last count before panel 1's next
// text.
class QPushButton;

// A button of the pages beside the written system's: caption, hint as tool tip and
// description, and the caption without its "…" as the name assistive technology reads.
QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint);

class StatusBar : public QWidget {
  Q_OBJECT
 public:
  explicit StatusBar(QWidget* parent = nullptr);
  static constexpr int kPanelCount = 2;
  void SetPanelText(int panel, const QString& text);
  QString PanelText(int panel) const;
  void SetPanelWidth(int panel, int width);
  int PanelWidth(int panel) const;
  void SetColor(uint32_t bgr);
  uint32_t Color() const { return color_; }
  // The colour the bar is painted with.
  QColor BackgroundColor() const { return ColorFromBGR(color_); }
  QRect PanelRect(int panel) const;
  void RepaintNow() { repaint(); }

  static constexpr std::chrono::milliseconds kCountAnnounceInterval{250};

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  void AnnounceCount();
  void AnnouncePendingCount();
  QString texts_[kPanelCount];
  int widths_[kPanelCount] = {70, 50};
  uint32_t color_ = 0x8000000F;
  std::chrono::steady_clock::time_point lastCountAnnounce_{};
  bool countPending_ = false;
  QTimer countTimer_;
};

// A captioned group of radio buttons in one column, spread evenly over the height.
// Click() is emitted whenever the selected item really changes, whether the user or the
// program changed it, and never otherwise.
class RadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);
  int ItemIndex() const { return index_; }
  void SetItemIndex(int index);
  int Count() const { return static_cast<int>(buttons_.size()); }
  QRadioButton* button(int i) const { return buttons_.at(static_cast<size_t>(i)); }
  // Places the buttons again (after a change of size or font).
  void Arrange();

 signals:
  void Click();

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  void Toggled(int id, bool checked);
  std::vector<QRadioButton*> buttons_;
  QButtonGroup group_;
  int index_ = -1;
  bool setting_ = false;
};

// Masked edit with the mask "999;0;0" and at most three characters: digits only.
// Change() is emitted on every change of the text, by the user or by the program.
class MaskEdit3 : public QLineEdit {
  Q_OBJECT
 public:
  explicit MaskEdit3(QWidget* parent = nullptr);
 signals:
  void Change();
};

// Paint box: what is drawn goes onto Surface(), the box's screen contents, which the
// paint event copies to the screen. The surface always has the box's size. With the
// focus, the arrow keys move a marker as the mouse does: Left/Right the left marker,
// with Shift the right one, with Ctrl in steps of ten pixels.
class PaintBox : public QWidget {
  Q_OBJECT
 public:
  explicit PaintBox(QWidget* parent = nullptr);
  // The surface follows the box's size also while the box is hidden (a hidden widget
  // gets its resize event only when shown): asking for it brings it up to date.
  QImage& Surface() {
    SyncSurface();
    return surface_;
  }
  void SyncSurface();
  void RepaintNow() { repaint(); }

 signals:
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
  // A marker key: the right marker or the left one, moved by step pixels.
  void MarkerKey(bool rightMarker, int step);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void showEvent(QShowEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  QImage surface_;
};
