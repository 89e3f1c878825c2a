#include "app/icons.h"

#include <QPainter>
#include <QPainterPath>
#include <functional>

namespace baleport::app {
namespace {

QPixmap Draw(const std::function<void(QPainter&)>& draw) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  draw(painter);
  return pixmap;
}

}  // namespace

QIcon EnvelopeIcon() {
  return QIcon(Draw([](QPainter& p) {
    p.setPen(QColor(90, 90, 90));
    p.setBrush(QColor(255, 250, 225));
    p.drawRect(QRectF(1.5, 3.5, 13, 9));
    p.drawPolyline(QPolygonF({{1.5, 3.5}, {8, 9}, {14.5, 3.5}}));
  }));
}

QIcon DriveArrowIcon() {
  return QIcon(Draw([](QPainter& p) {
    p.setPen(QColor(80, 80, 80));
    p.setBrush(QColor(200, 200, 200));
    p.drawRoundedRect(QRectF(0.5, 9.5, 15, 5), 1, 1);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 200, 0));
    p.drawEllipse(QPointF(12.5, 12), 1, 1);
    p.setBrush(QColor(0, 150, 0));
    p.drawPolygon(QPolygonF({{5, 0.5}, {11, 0.5}, {11, 4}, {14, 4}, {8, 9}, {2, 4}, {5, 4}}));
  }));
}

QPixmap FolderImage() {
  return Draw([](QPainter& p) {
    p.setPen(QColor(180, 130, 20));
    p.setBrush(QColor(255, 205, 70));
    QPainterPath path;
    path.moveTo(1.5, 3.5);
    path.lineTo(6, 3.5);
    path.lineTo(7.5, 5);
    path.lineTo(14.5, 5);
    path.lineTo(14.5, 13.5);
    path.lineTo(1.5, 13.5);
    path.closeSubpath();
    p.drawPath(path);
    p.setBrush(QColor(255, 225, 120));
    p.drawRect(QRectF(1.5, 6.5, 13, 7));
  });
}

QPixmap InformationImage() {
  return Draw([](QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 150, 60));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.5), 1.4, 1.4);
    p.drawRect(QRectF(6.8, 7, 2.4, 6));
  });
}

QPixmap PersonImage() {
  return Draw([](QPainter& p) {
    p.setPen(QColor(60, 60, 120));
    p.setBrush(QColor(240, 200, 160));
    p.drawEllipse(QRectF(5, 1.5, 6, 6));
    p.setBrush(QColor(70, 110, 200));
    p.drawRoundedRect(QRectF(2.5, 8.5, 11, 7), 3, 3);
  });
}

}  // namespace baleport::app
