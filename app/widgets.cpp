#include "app/widgets.h"

#include "app/accessibility.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QShowEvent>
#include <algorithm>
#include <qdrawutil.h>

QColor ColorFromBGR(uint32_t value) {
  if (value & 0x80000000u) return QApplication::palette().color(QPalette::Button);
  return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                static_cast<int>((value >> 16) & 0xFF));
}

// ---- StatusBar ----

StatusBar::StatusBar(QWidget* parent) : QWidget(parent) {
  countTimer_.setSingleShot(true);
  connect(&countTimer_, &QTimer::timeout, this, [this] { AnnouncePendingCount(); });
}

void StatusBar::SetPanelText(int panel, const QString& text) {
  if (panel < 0 || panel >= kPanelCount) return;
  if (texts_[panel] == text) return;
  texts_[panel] = text;
  update();
  if (panel == 0) {
    AnnounceCount();
  } else {
    AnnouncePendingCount();
    AnnouncePanelText(this, panel);
  }
}

void StatusBar::AnnounceCount() {
  const auto now = std::chrono::steady_clock::now();
  if (now - lastCountAnnounce_ >= kCountAnnounceInterval) {
    lastCountAnnounce_ = now;
    countPending_ = false;
    AnnouncePanelText(this, 0);
    return;
  }
  // The count goes on changing while the download holds the event loop; the pending
  // count goes out with the next change after the interval, before panel 1's next text,
  // or from the timer once the loop runs again.
  countPending_ = true;
  if (!countTimer_.isActive())
    countTimer_.start(std::chrono::duration_cast<std::chrono::milliseconds>(
        kCountAnnounceInterval - (now - lastCountAnnounce_)));
}

void StatusBar::AnnouncePendingCount() {
  if (!countPending_) return;
  countPending_ = false;
  lastCountAnnounce_ = std::chrono::steady_clock::now();
  AnnouncePanelText(this, 0);
}

QString StatusBar::PanelText(int panel) const {
  if (panel < 0 || panel >= kPanelCount) return {};
  return texts_[panel];
}

void StatusBar::SetPanelWidth(int panel, int width) {
  if (panel < 0 || panel >= kPanelCount) return;
  widths_[panel] = width;
  update();
}

int StatusBar::PanelWidth(int panel) const {
  if (panel < 0 || panel >= kPanelCount) return 0;
  return widths_[panel];
}

void StatusBar::SetColor(uint32_t bgr) {
  if (color_ == bgr) return;
  color_ = bgr;
  update();
  AnnounceStatusColor(this);
}

QRect StatusBar::PanelRect(int panel) const {
  // Panels sit 2 pixels below the top edge with a 2-pixel gap between them; the last
  // one stretches to the right edge of the bar.
  const int top = 2;
  const int h = std::max(0, height() - top);
  int left = 0;
  for (int i = 0; i < panel; ++i) left += widths_[i] + 2;
  int w = (panel == kPanelCount - 1) ? width() - left : widths_[panel];
  return QRect(left, top, std::max(0, w), h);
}

void StatusBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), BackgroundColor());
  p.setFont(font());
  p.setPen(palette().color(QPalette::WindowText));
  for (int i = 0; i < kPanelCount; ++i) {
    QRect r = PanelRect(i);
    qDrawShadePanel(&p, r, palette(), /*sunken=*/true, 1, nullptr);
    QRect textRect = r.adjusted(3, 1, -2, -1);
    QString text = fontMetrics().elidedText(texts_[i], Qt::ElideNone, textRect.width());
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text);
  }
}

// ---- RadioGroup ----

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent) {
  group_.setExclusive(true);
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    b->setObjectName(QStringLiteral("item%1").arg(i));
    buttons_.push_back(b);
    group_.addButton(b, i);
  }
  connect(&group_, &QButtonGroup::idToggled, this, &RadioGroup::Toggled);
  Arrange();
}

void RadioGroup::Toggled(int id, bool checked) {
  if (setting_ || !checked) return;  // the unchecking of the old item is no change
  if (id == index_) return;
  index_ = id;
  emit Click();
}

void RadioGroup::SetItemIndex(int index) {
  if (index < -1 || index >= Count()) index = -1;
  if (index == index_) return;
  setting_ = true;
  if (index < 0) {
    group_.setExclusive(false);
    for (auto* b : buttons_) b->setChecked(false);
    group_.setExclusive(true);
  } else {
    buttons_[static_cast<size_t>(index)]->setChecked(true);
  }
  setting_ = false;
  index_ = index;
  emit Click();
}

void RadioGroup::Arrange() {
  // The classic arrangement: below the caption's text height the remaining height is
  // divided evenly among the items; the remainder is split above and below.
  const int n = Count();
  if (n == 0) return;
  const int textHeight = fontMetrics().height();
  const int avail = std::max(0, height() - textHeight - 5);
  const int slot = avail / n;
  const int topMargin = textHeight + 1 + (avail % n) / 2;
  const int buttonWidth = std::max(0, width() - 10);
  for (int i = 0; i < n; ++i) {
    QRadioButton* b = buttons_[static_cast<size_t>(i)];
    const int h = std::max(slot, b->sizeHint().height());
    int top = topMargin + i * slot + (slot - h) / 2;
    top = std::max(1, std::min(top, height() - h - 1));
    b->setGeometry(4, top, buttonWidth, h);
  }
}

void RadioGroup::resizeEvent(QResizeEvent* e) {
  QGroupBox::resizeEvent(e);
  Arrange();
}

void RadioGroup::changeEvent(QEvent* e) {
  QGroupBox::changeEvent(e);
  if (e->type() == QEvent::FontChange) Arrange();
}

// ---- MaskEdit3 ----

MaskEdit3::MaskEdit3(QWidget* parent) : QLineEdit(parent) {
  setMaxLength(3);
  setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this));
  connect(this, &QLineEdit::textChanged, this, [this] { emit Change(); });
}

// ---- PaintBox ----

PaintBox::PaintBox(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  surface_ = QImage(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
  surface_.fill(palette().color(QPalette::Window));
}

void PaintBox::paintEvent(QPaintEvent* e) {
  SyncSurface();
  QPainter p(this);
  p.drawImage(e->rect(), surface_, e->rect());
  // The focus shows as a dotted frame on the screen only, never on the surface.
  if (hasFocus()) {
    QPen pen(Qt::black, 1, Qt::DotLine);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void PaintBox::keyPressEvent(QKeyEvent* e) {
  const int direction = e->key() == Qt::Key_Left ? -1 : e->key() == Qt::Key_Right ? 1 : 0;
  if (direction == 0) {
    QWidget::keyPressEvent(e);
    return;
  }
  const int step = (e->modifiers() & Qt::ControlModifier) ? 10 : 1;
  emit MarkerKey((e->modifiers() & Qt::ShiftModifier) != 0, direction * step);
}

void PaintBox::focusInEvent(QFocusEvent* e) {
  QWidget::focusInEvent(e);
  update();
}

void PaintBox::focusOutEvent(QFocusEvent* e) {
  QWidget::focusOutEvent(e);
  update();
}

void PaintBox::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  SyncSurface();
}

void PaintBox::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  SyncSurface();
}

void PaintBox::SyncSurface() {
  if (surface_.size() == size() || width() <= 0 || height() <= 0) return;
  QImage next(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
  next.fill(palette().color(QPalette::Window));
  QPainter p(&next);
  p.drawImage(0, 0, surface_);
  p.end();
  surface_ = std::move(next);
}

void PaintBox::mousePressEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  emit MouseDown(e->button(), e->modifiers(), pos.x(), pos.y());
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QString& hint) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setToolTip(hint);
  QString accessible = caption;
  accessible.remove(QChar(0x2026));
  b->setAccessibleName(accessible);
  b->setAccessibleDescription(hint);
  b->setAutoDefault(false);
  return b;
}
