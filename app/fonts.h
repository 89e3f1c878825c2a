// The pages' fonts. Tahoma is loaded from the Wine font files when they are present;
// Verdana falls back to the closest sans-serif the system has.
#pragma once

#include <QFont>

namespace baleport::app {

// Registers the bundled font files with the application; call once after QApplication.
void LoadPageFonts();

// Weight is always set, so that a regular control inside a bold frame stays regular.
QFont Tahoma(qreal point_size, bool bold = false);
QFont Verdana(qreal point_size, bool bold = false);

}  // namespace baleport::app
