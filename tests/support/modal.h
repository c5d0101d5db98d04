// Answers the real modal dialogs of a test as a user would: while the code under test
// runs its dialog's own event loop, a timer finds each new modal widget with
// QApplication::activeModalWidget() and hands it to the test's handler.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <vector>

namespace modal {

// The caption of a button as read aloud: without the "&" of its mnemonic.
inline QString Plain(const QString& text) {
  QString s = text;
  s.remove(QLatin1Char('&'));
  return s;
}

// Every button's caption in the dialog, without mnemonics.
inline QStringList ButtonTexts(QWidget* dialog) {
  QStringList out;
  for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
    if (!b->text().isEmpty()) out << Plain(b->text());
  return out;
}

// The first visible button whose plain caption is the text.
inline QAbstractButton* Button(QWidget* dialog, const QString& text) {
  for (QAbstractButton* b : dialog->findChildren<QAbstractButton*>())
    if (b->isVisible() && Plain(b->text()) == text) return b;
  return nullptr;
}

// Calls the handler once for every modal widget that comes up while it lives (nested
// ones too). The handler answers the dialog, which ends its event loop.
class Answerer : public QObject {
 public:
  explicit Answerer(std::function<void(QWidget*)> handler) : handler_(std::move(handler)) {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, [this] { Look(); });
    timer_.start();
  }
  std::vector<QString> seen;  // the class names of the modal widgets, in order

 private:
  void Look() {
    QWidget* w = QApplication::activeModalWidget();
    if (!w || !w->isVisible()) return;
    for (const auto& done : handled_)
      if (done == w) return;
    handled_.push_back(w);
    seen.push_back(QString::fromLatin1(w->metaObject()->className()));
    // From the event loop, not from inside the timer: an answer that brings up a
    // further modal widget must leave the timer free to find that one.
    QPointer<QWidget> target(w);
    QMetaObject::invokeMethod(
        this,
        [this, target] {
          if (target) handler_(target);
        },
        Qt::QueuedConnection);
  }
  std::function<void(QWidget*)> handler_;
  std::vector<QPointer<QWidget>> handled_;
  QTimer timer_;
};

// Answers every modal dialog of class Dialog that comes up while it lives.
template <class Dialog>
class DialogAnswerer : public Answerer {
 public:
  explicit DialogAnswerer(std::function<void(Dialog&)> handler)
      : Answerer([handler = std::move(handler)](QWidget* w) {
          if (auto* dialog = qobject_cast<Dialog*>(w)) handler(*dialog);
        }) {}
};

}  // namespace modal
