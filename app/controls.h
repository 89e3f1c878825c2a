// The small widgets and set-up helpers the pages are built from: the header and footer
// bands, labels placed at fixed positions, and the " [ ? ]" help links.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>

namespace baleport::app {

// The pages' colours.
inline const QColor kWhite(255, 255, 255);
inline const QColor kLightGrey(192, 192, 192);
inline const QColor kLightYellow(255, 255, 192);
inline const QColor kDarkGrey(64, 64, 64);

// A filled rectangle with a one-pixel border; it may reach past its parent's edge.
class Shape : public QWidget {
 public:
  Shape(QWidget* parent, QRect geometry, QColor fill, QColor border);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor fill_;
  QColor border_;
};

// A label that acts on a click: blue, a hand pointer and a tooltip.
class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  LinkLabel(QWidget* parent, QRect geometry, const QFont& font);

 signals:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A top-aligned, word-wrapped label; a background colour also makes it opaque.
QLabel* AddLabel(QWidget* parent, const QString& text, QRect geometry, const QFont& font,
                 QColor text_colour = QColor(0, 0, 0), QColor background = QColor());

// A 16 x 16 picture at `position`.
QLabel* AddPicture(QWidget* parent, const QPixmap& image, QPoint position);

void SetTextColour(QWidget* widget, QColor colour);

// The white band across the top of a page: its title (in title_colour) and a line below it.
void AddHeaderBand(QWidget* page, const QString& title, QColor title_colour, const QString& subtitle = {});

// A caption written with access keys ("&x", "&&") as a plain label shows it.
QString WithoutAccessKeys(const QString& caption);

}  // namespace baleport::app
