// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace albumora::gui {

namespace {

// A photo in a rounded frame: sky, sun and two hills, on a 64-unit square.
QPixmap Draw(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x2d, 0x6c, 0xb4));
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
  painter.setBrush(QColor(0xe8, 0xf1, 0xfb));
  painter.drawRect(QRectF(10, 12, 44, 38));
  painter.setBrush(QColor(0xf5, 0xb8, 0x2e));
  painter.drawEllipse(QPointF(42, 22), 5, 5);
  QPainterPath hills;
  hills.moveTo(10, 50);
  hills.lineTo(24, 30);
  hills.lineTo(34, 42);
  hills.lineTo(40, 36);
  hills.lineTo(54, 50);
  hills.closeSubpath();
  painter.setBrush(QColor(0x3c, 0x9a, 0x5f));
  painter.drawPath(hills);
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon icon;
  for (int size : {16, 32, 48, 64, 128}) icon.addPixmap(Draw(size));
  return icon;
}

}  // namespace albumora::gui
