#include "app/controls.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/fonts.h"

namespace baleport::app {

Shape::Shape(QWidget* parent, QRect geometry, QColor fill, QColor border)
    : QWidget(parent), fill_(fill), border_(border) {
  setGeometry(geometry);
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Shape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), fill_);
  painter.setPen(border_);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

LinkLabel::LinkLabel(QWidget* parent, QRect geometry, const QFont& font)
    : QLabel(QStringLiteral(" [ ? ]"), parent) {
  setGeometry(geometry);
  setFont(font);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetTextColour(this, QColor(0, 0, 255));
  setCursor(Qt::PointingHandCursor);
  setToolTip(QStringLiteral("Click to Know More..."));
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
    emit clicked();
  }
  QLabel::mouseReleaseEvent(event);
}

QLabel* AddLabel(QWidget* parent, const QString& text, QRect geometry, const QFont& font,
                 QColor text_colour, QColor background) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  label->setFont(font);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  SetTextColour(label, text_colour);
  if (background.isValid()) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, background);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
  }
  return label;
}

QLabel* AddPicture(QWidget* parent, const QPixmap& image, QPoint position) {
  auto* picture = new QLabel(parent);
  picture->setGeometry(QRect(position, QSize(16, 16)));
  picture->setPixmap(image);
  return picture;
}

void SetTextColour(QWidget* widget, QColor colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  palette.setColor(QPalette::ButtonText, colour);
  widget->setPalette(palette);
}

QString WithoutAccessKeys(const QString& caption) {
  QString shown;
  shown.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&' && i + 1 < caption.size()) ++i;  // "&&" keeps the second one
    shown += caption[i];
  }
  return shown;
}

void AddHeaderBand(QWidget* page, const QString& title, QColor title_colour, const QString& subtitle) {
  new Shape(page, QRect(0, 0, 713, 57), kWhite, kLightGrey);
  AddLabel(page, title, QRect(16, 8, 417, 25), Tahoma(14.25, true), title_colour, kWhite);
  if (!subtitle.isEmpty()) AddLabel(page, subtitle, QRect(16, 32, 409, 17), Tahoma(8.25), QColor(0, 0, 0), kWhite);
}

}  // namespace baleport::app
