#include "app/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPointer>
#include <QWindow>

#include "app/form1base.h"
#include "app/widgets.h"
#include "frontend/userio.h"

namespace {

// One panel of the status bar: a text with the panel's position and current text.
class StatusPanelAccessible : public QAccessibleInterface {
 public:
  StatusPanelAccessible(StatusBar* bar, int panel) : bar_(bar), panel_(panel) {}

  bool isValid() const override { return !bar_.isNull(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return bar_ ? bar_->window()->windowHandle() : nullptr; }
  QAccessibleInterface* parent() const override {
    return bar_ ? QAccessible::queryAccessibleInterface(bar_.data()) : nullptr;
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }

  QString text(QAccessible::Text t) const override {
    if (!bar_ || t != QAccessible::Name) return QString();
    return bar_->PanelText(panel_);
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    if (!bar_) return QRect();
    const QRect r = bar_->PanelRect(panel_);
    return QRect(bar_->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override { return QAccessible::StaticText; }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.readOnly = true;
    if (!bar_ || !bar_->isVisible()) s.invisible = true;
    return s;
  }

 private:
  QPointer<StatusBar> bar_;
  int panel_;
};

// The status bar; its description tells the meaning of its colour.
class StatusBarAccessible : public QAccessibleWidget {
 public:
  explicit StatusBarAccessible(StatusBar* bar) : QAccessibleWidget(bar, QAccessible::StatusBar) {
    for (int i = 0; i < StatusBar::kPanelCount; ++i)
      panels_[i] = QAccessible::registerAccessibleInterface(new StatusPanelAccessible(bar, i));
  }
  ~StatusBarAccessible() override {
    for (QAccessible::Id id : panels_) QAccessible::deleteAccessibleInterface(id);
  }

  int childCount() const override { return StatusBar::kPanelCount; }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= StatusBar::kPanelCount) return nullptr;
    return QAccessible::accessibleInterface(panels_[index]);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (int i = 0; i < StatusBar::kPanelCount; ++i)
      if (QAccessible::accessibleInterface(panels_[i]) == child) return i;
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    for (int i = 0; i < StatusBar::kPanelCount; ++i) {
      QAccessibleInterface* panel = child(i);
      if (panel && panel->rect().contains(x, y)) return panel;
    }
    return nullptr;
  }
  QString text(QAccessible::Text t) const override {
    const auto* bar = static_cast<const StatusBar*>(widget());
    if (t == QAccessible::Name) return QStringLiteral("Statusleiste");
    if (t == QAccessible::Description) return StatusColorMeaning(bar->Color());
    return QAccessibleWidget::text(t);
  }

 private:
  QAccessible::Id panels_[StatusBar::kPanelCount] = {};
};

AnnouncementObserver& Observer() {
  static AnnouncementObserver observer;
  return observer;
}

bool SomeoneListens() { return QAccessible::isActive() || Observer(); }

void Send(QAccessibleEvent& event) {
  if (Observer()) Observer()(event);
  QAccessible::updateAccessibility(&event);
}

QAccessibleInterface* WindowFactory(const QString& className, QObject* object) {
  if (!object || !object->isWidgetType()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  // The main window is a plain widget; it is announced as the window it is, named by
  // its caption.
  if (className == QLatin1String("TForm1Base") && widget->isWindow())
    return new QAccessibleWidget(widget, QAccessible::Window);
  if (className == QLatin1String("StatusBar"))
    return new StatusBarAccessible(static_cast<StatusBar*>(widget));
  if (className == QLatin1String("PaintBox"))
    return new QAccessibleWidget(widget, QAccessible::Graphic);
  return nullptr;
}

}  // namespace

void InstallWindowAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(WindowFactory);
    return true;
  }();
  (void)installed;
}

QString StatusColorMeaning(uint32_t color) {
  if (color == StatusColorSuccess) return QStringLiteral("Erfolg");
  if (color == StatusColorFailure) return QStringLiteral("Fehler");
  return QString();
}

void SetAnnouncementObserver(AnnouncementObserver observer) { Observer() = std::move(observer); }

void AnnouncePanelText(StatusBar* bar, int panel) {
  if (!SomeoneListens()) return;
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(bar);
  QAccessibleInterface* panelIface = iface ? iface->child(panel) : nullptr;
  if (!panelIface) return;
  QAccessibleEvent event(panelIface, QAccessible::NameChanged);
  Send(event);
}

void AnnounceStatusColor(StatusBar* bar) {
  if (!SomeoneListens()) return;
  QAccessibleEvent event(bar, QAccessible::DescriptionChanged);
  Send(event);
}
