#include "app/qtuserio.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <chrono>
#include <thread>

#include "app/widgets.h"

namespace {

QString Utf8(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QMessageBox::Icon IconOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::Warning: return QMessageBox::Warning;
    case BoxKind::Error: return QMessageBox::Critical;
    case BoxKind::Information: return QMessageBox::Information;
    case BoxKind::Confirmation: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QtUserIO::QtUserIO(StatusBar* bar, QWidget* window) : bar_(bar), window_(window) {}

void QtUserIO::Attach(StatusBar* bar, QWidget* window) {
  bar_ = bar;
  window_ = window;
  promptChanged_ = true;
}

QString QtUserIO::BoxText(const std::string& text) {
  QString s = Utf8(text);
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

void QtUserIO::ShowBox(QWidget* parent, BoxKind kind, const std::string& text) {
  QMessageBox box(IconOf(kind), Utf8(BoxTitle(kind)), BoxText(text), QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  QPushButton* ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
  box.setDefaultButton(ok);
  box.setEscapeButton(ok);
  box.exec();
}

bool QtUserIO::ConfirmBox(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::Question, Utf8(BoxTitle(BoxKind::Confirmation)), BoxText(text),
                  QMessageBox::NoButton, parent);
  box.setTextFormat(Qt::PlainText);
  QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
  QPushButton* cancel = box.addButton(QStringLiteral("&Abbrechen"), QMessageBox::RejectRole);
  box.setDefaultButton(yes);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == yes;
}

void QtUserIO::SetStatusColor(uint32_t color) {
  if (!bar_) return;
  if (bar_->Color() != color) promptChanged_ = true;
  bar_->SetColor(color);
}

void QtUserIO::SetStatusText(int panel, const std::string& text) {
  if (!bar_) return;
  const QString value = Utf8(text);
  if (panel != 0 && bar_->PanelText(panel) != value) promptChanged_ = true;
  bar_->SetPanelText(panel, value);
}

std::string QtUserIO::StatusText(int panel) const {
  return bar_ ? bar_->PanelText(panel).toStdString() : std::string();
}

// A change of colour or prompt is painted at once. The running record count of panel 0,
// which changes after every record of a download, is painted at most about 60 times a
// second: painting it thousands of times a second would make the screen, not the line,
// the limit of the download. The last count is painted with the result text.
void QtUserIO::RepaintStatus() {
  if (!bar_) return;
  if (promptChanged_) {
    statusThrottle_.Painted();
  } else if (!statusThrottle_.Due()) {
    bar_->update();
    return;
  }
  bar_->RepaintNow();
  promptChanged_ = false;
}

void QtUserIO::RepaintWindow() {
  if (window_) window_->repaint();
}

// The error handler's boxes come through here too: they sit over the window the user is
// in (the analysis window, a dialog), the exchanges' boxes over the main window.
void QtUserIO::ShowMessage(BoxKind kind, const std::string& text) {
  QWidget* active = QApplication::activeWindow();
  ShowBox(active ? active : window_, kind, text);
}

bool QtUserIO::Confirm(const std::string& text) { return ConfirmBox(window_, text); }

std::optional<std::string> QtUserIO::FileDialog(bool save, const std::string& filter,
                                                const std::string& initialName) {
  QFileDialog dialog(window_);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // An existing file is replaced without a question.
  if (save) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  if (!filter.empty()) dialog.setNameFilter(Utf8(filter));
  // A name with a folder opens the dialog in that folder.
  const QString initial = Utf8(initialName);
  const qsizetype slash = initial.lastIndexOf(QLatin1Char('/'));
  if (slash >= 0) dialog.setDirectory(initial.left(std::max<qsizetype>(slash, 1)));
  const QString name = initial.mid(slash + 1);
  if (!name.isEmpty()) dialog.selectFile(name);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  return files.first().toStdString();
}

std::optional<std::string> QtUserIO::OpenFileName(const std::string& filter,
                                                  const std::string& initialName) {
  return FileDialog(false, filter, initialName);
}

std::optional<std::string> QtUserIO::SaveFileName(const std::string& filter,
                                                  const std::string& initialName) {
  return FileDialog(true, filter, initialName);
}

void QtUserIO::Beep() { QApplication::beep(); }

void QtUserIO::SleepMs(int ms) {
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
