#include "app/printing.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace {
PrintDialogStandIn& StandIn() {
  static PrintDialogStandIn standIn;
  return standIn;
}
}  // namespace

void SetPrintDialogStandIn(PrintDialogStandIn standIn) { StandIn() = std::move(standIn); }

void RenderWindowOnPage(QWidget* window, QPaintDevice& page) {
  const QPixmap image = window->grab();
  // The grab may carry a device pixel ratio; scale from the widget's own pixel size.
  const QSize size = window->size();
  const double sx = page.logicalDpiX() / 96.0;
  const double sy = page.logicalDpiY() / 96.0;
  QPainter painter(&page);
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawPixmap(QRectF(0, 0, size.width() * sx, size.height() * sy), image,
                     QRectF(image.rect()));
}

bool PrintWindow(QWidget* window) {
  QPrinter printer(QPrinter::HighResolution);
  bool accepted = false;
  if (StandIn()) {
    accepted = StandIn()(printer);
  } else {
    QPrintDialog dialog(&printer, window);
    accepted = dialog.exec() == QDialog::Accepted;
  }
  if (!accepted) return false;
  RenderWindowOnPage(window, printer);
  return true;
}
