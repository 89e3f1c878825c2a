#include "app/fonts.h"

#include <QByteArray>
#include <QFile>
#include <QFontDatabase>
#include <QString>
#include <QStringList>

namespace baleport::app {
namespace {

QFont PageFont(const QString& family, qreal point_size, bool bold) {
  QFont font(family);
  font.setStyleHint(QFont::SansSerif);
  font.setPointSizeF(point_size);
  font.setBold(bold);
  return font;
}

// Wine's Tahoma spaces its lines more tightly than the Windows font the pages were laid
// out with, so wrapped lines would touch. Two parts of the file cause it, and both are
// switched off here: the bitmap strikes for small sizes (their own tight line metrics),
// and the request to use the typographic line metrics (OS/2 fsSelection bit 7). The
// outlines with the Windows line metrics remain.
void UseWindowsLineMetrics(QByteArray& font) {
  const auto at = [&](qsizetype offset, int bytes) {
    quint32 value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | quint8(font[offset + i]);
    return value;
  };
  if (font.size() < 12) return;
  const quint32 tables = at(4, 2);
  for (quint32 i = 0; i < tables; ++i) {
    const qsizetype record = 12 + 16 * qsizetype(i);
    if (record + 16 > font.size()) return;
    const QByteArray tag = font.mid(record, 4);
    if (tag == "EBLC" || tag == "EBDT" || tag == "EBSC") {
      font[record] = 'x';  // an unknown table, which readers skip
    } else if (tag == "OS/2") {
      const qsizetype fs_selection_low = qsizetype(at(record + 8, 4)) + 63;
      if (fs_selection_low < font.size()) {
        font[fs_selection_low] = char(font[fs_selection_low] & ~0x80);
      }
    }
  }
}

}  // namespace

void LoadPageFonts() {
  // Only the regular face: Wine's bold face has wider spacing but regular strokes, and
  // the bold that Qt draws from the regular outlines looks far more like Tahoma Bold.
  // A missing file is no error: the font matcher then picks a sans-serif.
  QFile file(QStringLiteral(BALEPORT_TAHOMA_DIR "/tahoma.ttf"));
  if (file.open(QIODevice::ReadOnly)) {
    QByteArray font = file.readAll();
    UseWindowsLineMetrics(font);
    QFontDatabase::addApplicationFontFromData(font);
  }
  // Verdana's wide, open shapes come from Bitstream Vera, of which DejaVu Sans is the
  // maintained descendant.
  QFont::insertSubstitutions(QStringLiteral("Verdana"),
                             QStringList{QStringLiteral("DejaVu Sans"),
                                         QStringLiteral("Bitstream Vera Sans")});
}

QFont Tahoma(qreal point_size, bool bold) {
  return PageFont(QStringLiteral("Tahoma"), point_size, bold);
}

QFont Verdana(qreal point_size, bool bold) {
  return PageFont(QStringLiteral("Verdana"), point_size, bold);
}

}  // namespace baleport::app
