#include "app/toolbaricons.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygon>

namespace {

QPixmap NewIconPixmap() {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  return pm;
}

}  // namespace

QIcon PrinterIcon() {
  QPixmap pm = NewIconPixmap();
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.setBrush(Qt::white);
  p.drawRect(4, 1, 8, 5);  // paper going in
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(1, 6, 14, 6);  // body
  p.setBrush(Qt::white);
  p.drawRect(4, 10, 8, 5);  // paper coming out
  p.setPen(QColor(0, 128, 0));
  p.drawPoint(13, 8);  // lamp
  p.setPen(Qt::black);
  p.drawLine(5, 12, 10, 12);
  return QIcon(pm);
}

QIcon DiskIcon() {
  QPixmap pm = NewIconPixmap();
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.setBrush(QColor(0, 0, 160));
  p.drawRect(1, 1, 14, 14);  // case
  p.setBrush(Qt::white);
  p.drawRect(3, 1, 10, 6);  // label
  p.setBrush(QColor(192, 192, 192));
  p.drawRect(4, 10, 8, 5);  // shutter
  p.fillRect(9, 11, 2, 3, QColor(0, 0, 160));
  p.setPen(QColor(128, 128, 128));
  p.drawLine(5, 3, 11, 3);
  p.drawLine(5, 5, 11, 5);
  return QIcon(pm);
}

QIcon PortIcon() {
  QPixmap pm = NewIconPixmap();
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setPen(Qt::black);
  p.setBrush(QColor(192, 192, 192));
  QPolygon shell;  // a D-shaped serial connector
  shell << QPoint(1, 4) << QPoint(14, 4) << QPoint(12, 11) << QPoint(3, 11);
  p.drawPolygon(shell);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::black);
  for (int i = 0; i < 5; ++i) p.drawRect(3 + 2 * i, 6, 1, 1);
  for (int i = 0; i < 4; ++i) p.drawRect(4 + 2 * i, 9, 1, 1);
  p.setPen(QColor(0, 0, 160));
  p.drawLine(7, 11, 7, 15);  // cable
  p.drawLine(8, 11, 8, 15);
  return QIcon(pm);
}

QIcon InfoIcon() {
  QPixmap pm = NewIconPixmap();
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.setPen(QColor(0, 0, 128));
  p.setBrush(QColor(0, 64, 200));
  p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(7, 3, 2, 2);  // the dot of the "i"
  p.drawRect(7, 6, 2, 7);
  p.drawRect(6, 6, 1, 1);
  p.drawRect(6, 12, 4, 1);
  return QIcon(pm);
}

QIcon ExitIcon() {
  QPixmap pm = NewIconPixmap();
  QPainter p(&pm);
  p.setPen(Qt::black);
  p.setBrush(QColor(128, 64, 0));
  p.drawRect(2, 1, 8, 14);  // door frame
  p.setBrush(QColor(200, 120, 40));
  QPolygon door;  // the open door leaf
  door << QPoint(2, 1) << QPoint(7, 3) << QPoint(7, 15) << QPoint(2, 15);
  p.drawPolygon(door);
  p.setPen(QColor(255, 220, 0));
  p.drawPoint(6, 9);  // door knob
  p.setPen(QColor(0, 128, 0));
  p.drawLine(10, 8, 15, 8);  // arrow out
  p.drawLine(13, 6, 15, 8);
  p.drawLine(13, 10, 15, 8);
  return QIcon(pm);
}
