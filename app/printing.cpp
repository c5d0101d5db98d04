#include "app/printing.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <cmath>

namespace {
PrintDialogStandIn& StandIn() {
  static PrintDialogStandIn standIn;
  return standIn;
}

std::string CannotPrintText(const QPrinter& printer) {
  std::string reason;
  if (!printer.outputFileName().isEmpty())
    reason =
        "Die Datei " + printer.outputFileName().toStdString() + " kann nicht geschrieben werden.";
  else if (!printer.printerName().isEmpty())
    reason = "Der Drucker " + printer.printerName().toStdString() + " ist nicht bereit.";
  else
    reason = "Es ist kein Drucker eingerichtet.";
  return reason + "\rDrucken nicht möglich";
}
}  // namespace

void SetPrintDialogStandIn(PrintDialogStandIn standIn) { StandIn() = std::move(standIn); }

bool RenderWindowOnPage(QWidget* window, QPaintDevice& page) {
  const QPixmap image = window->grab();
  const double ratio = window->devicePixelRatioF();
  const double width = std::round(window->width() * ratio);
  const double height = std::round(window->height() * ratio);
  const double sx = page.logicalDpiX() / 96.0;
  const double sy = page.logicalDpiY() / 96.0;
  QPainter painter;
  if (!painter.begin(&page)) return false;
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawPixmap(QRectF(0, 0, width * sx, height * sy), image, QRectF(image.rect()));
  return painter.end();
}

bool PrintWindow(QWidget* window, QPrinter& printer) {
  bool accepted = false;
  if (StandIn()) {
    accepted = StandIn()(printer);
  } else {
    QPrintDialog dialog(&printer, window);
    accepted = dialog.exec() == QDialog::Accepted;
  }
  if (!accepted) return false;
  if (!RenderWindowOnPage(window, printer) || printer.printerState() == QPrinter::Error)
    throw PrintError(CannotPrintText(printer));
  return true;
}
